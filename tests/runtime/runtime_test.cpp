#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/fs.h"
#include "platform/module.h"
#include "platform/text.h"
#include "runtime/tqbase.h"
#include "support/run_process.h"
#include "support/test_files.h"

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace {

using testing_support::TempDir;
using testing_support::WaitFor;
using testing_support::WriteFileBytes;

constexpr wchar_t kSep = platform::kPathSep;

TEST(TqStringTest, CopiesShareAndAssignReplaces) {
    tqString empty;
    EXPECT_TRUE(empty.empty());
    EXPECT_STREQ(empty.c_str(), "");
    tqString a("abc");
    tqString b = a;
    EXPECT_EQ(a.c_str(), b.c_str());  // shared, not copied
    b.Assign("xy", 2);
    EXPECT_STREQ(a.c_str(), "abc");
    EXPECT_STREQ(b.c_str(), "xy");
    b.Assign(nullptr, 5);
    EXPECT_TRUE(b.empty());
    tqString withNul("a\0b", 3);
    EXPECT_EQ(withNul.size(), 3u);
    tqString moved = std::move(a);
    EXPECT_STREQ(moved.c_str(), "abc");
    EXPECT_TRUE(a.empty());  // NOLINT(bugprone-use-after-move): the moved-from text is empty
}

class Echo : public uiCalcFunc {
  public:
    int GetArgType(int) override { return kTqText; }
    tqValue* Invoke(tqValue* result, tqValue* args, int count) override {
        std::string joined;
        for (int i = 0; i < count; ++i) {
            joined += args[i].payload.text;
            joined += '|';
        }
        tqValueSetText(result, joined.c_str());
        return result;
    }
};

class Thrower : public uiCalcFunc {
  public:
    int GetArgType(int) override { return kTqNumber; }
    tqValue* Invoke(tqValue*, tqValue*, int) override {
        throw std::runtime_error("script failure");
    }
};

TEST(RegistryTest, CallByNameReachesRegisteredFunctions) {
    static Echo echo;
    static Thrower thrower;
    ASSERT_TRUE(tqRegisterFunc("test_echo", &echo));
    ASSERT_TRUE(tqRegisterFunc("test_throw", &thrower));
    EXPECT_FALSE(tqRegisterFunc(nullptr, &echo));
    EXPECT_EQ(tqFindFunc("test_echo"), &echo);

    const char* args[] = {"a", "", "c d"};
    tqValue result;
    ASSERT_TRUE(tqCallByName(&result, "test_echo", args, 3));
    EXPECT_EQ(result.type, static_cast<uint32_t>(kTqText));
    EXPECT_STREQ(result.payload.text, "a||c d|");
    tqValueDestroy(&result);
    EXPECT_EQ(result.type, static_cast<uint32_t>(kTqNumber));

    EXPECT_FALSE(tqCallByName(&result, "no_such_function", args, 1));
    EXPECT_FALSE(tqCallByName(&result, "test_throw", args, 0));
    EXPECT_FALSE(tqCallByName(&result, "test_echo", nullptr, 2));
}

struct ThreadLog {
    std::atomic<int> runs{0}, ends{0}, deletes{0};
    std::atomic<bool> endAfterRun{false};
};

class Probe : public tqThread {
  public:
    explicit Probe(ThreadLog& log) : m_log(log) {}
    ~Probe() override { ++m_log.deletes; }
    bool Run(int param) override {
        ++m_log.runs;
        if (param == 7) {
            throw std::runtime_error("run failed");
        }
        return true;
    }
    void OnRunEnd() override {
        m_log.endAfterRun = m_log.runs.load() == 1;
        ++m_log.ends;
    }

  private:
    ThreadLog& m_log;
};

TEST(TqThreadTest, RunThenOnRunEndThenDeletedOnce) {
    for (int param : {0, 7}) {
        SCOPED_TRACE(param);
        ThreadLog log;
        EXPECT_EQ((new Probe(log))->Start(param), 1);
        ASSERT_TRUE(WaitFor([&] { return log.deletes.load() == 1; }, 10000));
        EXPECT_EQ(log.runs, 1);
        EXPECT_EQ(log.ends, 1);
        EXPECT_TRUE(log.endAfterRun);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(log.deletes, 1);
    }
}

// The script library functions, loaded from the shipped module as the updater loads it.
class ScriptLibraryTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::wstring dist = platform::FolderOf(platform::ModulePath()) + L".." + kSep + L"dist" +
                            kSep + L"tqslib.tql";
        ASSERT_TRUE(platform::LoadModule(dist));
    }
    static bool Call(const char* name, std::initializer_list<std::wstring> args) {
        std::vector<std::string> narrow;
        for (const std::wstring& arg : args) {
            narrow.push_back(platform::WideToAnsi(arg));
        }
        std::vector<const char*> pointers;
        for (const std::string& s : narrow) {
            pointers.push_back(s.c_str());
        }
        tqValue result;
        bool found =
            tqCallByName(&result, name, pointers.data(), static_cast<int>(pointers.size()));
        tqValueDestroy(&result);
        return found;
    }
    TempDir m_dir;
};

TEST_F(ScriptLibraryTest, CreateDirMakesEveryLevel) {
    std::wstring deep = m_dir / L"a/b/c";
    ASSERT_TRUE(Call("create_dir", {deep + kSep}));
    EXPECT_TRUE(platform::IsFolder(deep));
    EXPECT_TRUE(Call("create_dir", {deep}));  // existing: nothing to do
}

TEST_F(ScriptLibraryTest, DelPathRemovesTreeWithReadOnlyFiles) {
    WriteFileBytes(m_dir / L"t/sub/f.txt", "x");
    WriteFileBytes(m_dir / L"t/g.txt", "y");
    platform::SetAttributes(m_dir / L"t/g.txt", platform::kAttrReadOnly);
    ASSERT_TRUE(Call("del_path", {m_dir / L"t"}));
    EXPECT_FALSE(platform::Exists(m_dir / L"t"));
}

TEST_F(ScriptLibraryTest, DelPathWithEmptyPathRemovesNothing) {
    WriteFileBytes(m_dir / L"keep.txt", "x");
    ASSERT_TRUE(Call("del_path", {L""}));
    EXPECT_TRUE(platform::Exists(m_dir / L"keep.txt"));
}

TEST_F(ScriptLibraryTest, DelPathNeverFollowsALinkOutOfTheFolder) {
#if defined(_WIN32)
    GTEST_SKIP() << "symbolic links need a privilege the test does not have on Windows";
#else
    WriteFileBytes(m_dir / L"outside/precious.txt", "keep");
    WriteFileBytes(m_dir / L"victim/own.txt", "x");
    ASSERT_EQ(::symlink(platform::WideToUtf8(m_dir / L"outside").c_str(),
                        platform::WideToUtf8(m_dir / L"victim/link").c_str()),
              0);
    ASSERT_TRUE(Call("del_path", {m_dir / L"victim"}));
    EXPECT_FALSE(platform::Exists(m_dir / L"victim"));
    EXPECT_EQ(testing_support::ReadFileBytes(m_dir / L"outside/precious.txt"), "keep");
#endif
}

TEST_F(ScriptLibraryTest, ExecStartsWithoutWaiting) {
    // Update.exe without arguments ends at once; exec must only start it.
    std::wstring program =
        platform::FolderOf(platform::ModulePath()) + L".." + kSep + L"dist" + kSep + L"Update.exe";
    EXPECT_TRUE(Call("exec", {program, L"", L""}));
    EXPECT_TRUE(Call("exec", {m_dir / L"missing.exe", L"", L""}));  // found, fails quietly
}

}  // namespace
