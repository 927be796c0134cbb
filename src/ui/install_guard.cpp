#include "ui/install_guard.h"

#include <condition_variable>
#include <mutex>

namespace {

struct Gate {
    std::mutex mutex;
    std::condition_variable idle;
    int active = 0;
    bool closed = false;
};

Gate& TheGate() {
    static Gate gate;
    return gate;
}

}  // namespace

InstallationGuard::InstallationGuard() {
    Gate& gate = TheGate();
    std::lock_guard<std::mutex> lock(gate.mutex);
    m_entered = !gate.closed;
    if (m_entered) {
        ++gate.active;
    }
}

InstallationGuard::~InstallationGuard() {
    if (!m_entered) {
        return;
    }
    Gate& gate = TheGate();
    std::lock_guard<std::mutex> lock(gate.mutex);
    if (--gate.active == 0) {
        gate.idle.notify_all();
    }
}

void CloseInstallationsAndWait() {
    Gate& gate = TheGate();
    std::unique_lock<std::mutex> lock(gate.mutex);
    gate.closed = true;
    gate.idle.wait(lock, [&] { return gate.active == 0; });
}

bool InstallationInProgress() {
    Gate& gate = TheGate();
    std::lock_guard<std::mutex> lock(gate.mutex);
    return gate.active > 0;
}

void ReopenInstallationsForTesting() {
    Gate& gate = TheGate();
    std::lock_guard<std::mutex> lock(gate.mutex);
    gate.closed = false;
}
