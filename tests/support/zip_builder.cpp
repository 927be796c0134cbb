#include "support/zip_builder.h"

#include <zlib.h>

#include <stdexcept>

#include "support/test_files.h"

namespace tqtest {

namespace {

void Append16(std::string& out, uint32_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void Append32(std::string& out, uint32_t value) {
    Append16(out, value & 0xFFFF);
    Append16(out, value >> 16);
}

}  // namespace

uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second) {
    const uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
    const uint32_t time = static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2));
    return (date << 16) | time;
}

void PutLE16(std::string& bytes, size_t at, uint16_t value) {
    bytes.at(at) = static_cast<char>(value & 0xFF);
    bytes.at(at + 1) = static_cast<char>(value >> 8);
}

void PutLE32(std::string& bytes, size_t at, uint32_t value) {
    PutLE16(bytes, at, static_cast<uint16_t>(value & 0xFFFF));
    PutLE16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

uint32_t GetLE32(std::string_view bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<uint8_t>(bytes.at(at + static_cast<size_t>(i)));
    }
    return value;
}

std::string DeflateRaw(std::string_view data) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) {
        throw std::runtime_error("deflate failed");
    }
    return out;
}

uint32_t Crc32(std::string_view data) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

ZipBuilder& ZipBuilder::Add(ZipItem item) {
    m_items.push_back(std::move(item));
    return *this;
}

ZipBuilder& ZipBuilder::AddFile(std::string name, std::string data, uint16_t method) {
    ZipItem item;
    item.name = std::move(name);
    item.data = std::move(data);
    item.method = method;
    return Add(std::move(item));
}

ZipBuilder& ZipBuilder::AddFolder(std::string name) {
    ZipItem item;
    item.name = std::move(name);
    item.method = kZipStored;
    item.externalAttributes = 0x10;
    return Add(std::move(item));
}

ZipBuilder& ZipBuilder::Prefix(std::string bytes) {
    m_prefix = std::move(bytes);
    return *this;
}

ZipBuilder& ZipBuilder::Comment(std::string text) {
    m_comment = std::move(text);
    return *this;
}

ZipBuilder& ZipBuilder::Corrupt(Hook hook) {
    m_hooks.push_back(std::move(hook));
    return *this;
}

std::string ZipBuilder::Build(ZipLayout* layoutOut) const {
    ZipLayout layout;
    std::string out = m_prefix;
    std::string central;
    std::vector<size_t> centralRelative;
    for (const ZipItem& item : m_items) {
        const std::string stored = item.method == kZipDeflated ? DeflateRaw(item.data) : item.data;
        const uint32_t crc = Crc32(item.data);
        const uint16_t flags = item.dataDescriptor ? 0x8 : 0;
        const size_t localOffset = out.size() - m_prefix.size();

        layout.local.push_back(out.size());
        Append32(out, 0x04034B50);
        Append16(out, 20);
        Append16(out, flags);
        Append16(out, item.method);
        Append32(out, item.dosDateTime);
        Append32(out, item.dataDescriptor ? 0 : crc);
        Append32(out, item.dataDescriptor ? 0 : static_cast<uint32_t>(stored.size()));
        Append32(out, item.dataDescriptor ? 0 : static_cast<uint32_t>(item.data.size()));
        Append16(out, static_cast<uint32_t>(item.name.size()));
        Append16(out, static_cast<uint32_t>(item.extra.size()));
        out += item.name;
        out += item.extra;
        layout.data.push_back(out.size());
        out += stored;
        if (item.dataDescriptor) {
            Append32(out, 0x08074B50);
            Append32(out, crc);
            Append32(out, static_cast<uint32_t>(stored.size()));
            Append32(out, static_cast<uint32_t>(item.data.size()));
        }

        centralRelative.push_back(central.size());
        Append32(central, 0x02014B50);
        Append16(central, item.versionMadeBy);
        Append16(central, 20);
        Append16(central, flags);
        Append16(central, item.method);
        Append32(central, item.dosDateTime);
        Append32(central, crc);
        Append32(central, static_cast<uint32_t>(stored.size()));
        Append32(central, static_cast<uint32_t>(item.data.size()));
        Append16(central, static_cast<uint32_t>(item.name.size()));
        Append16(central, static_cast<uint32_t>(item.extra.size()));
        Append16(central, static_cast<uint32_t>(item.comment.size()));
        Append16(central, 0);
        Append16(central, 0);
        Append32(central, item.externalAttributes);
        Append32(central, static_cast<uint32_t>(localOffset));
        central += item.name;
        central += item.extra;
        central += item.comment;
    }
    layout.centralStart = out.size();
    for (size_t relative : centralRelative) {
        layout.central.push_back(layout.centralStart + relative);
    }
    out += central;
    layout.endRecord = out.size();
    Append32(out, 0x06054B50);
    Append16(out, 0);
    Append16(out, 0);
    Append16(out, static_cast<uint32_t>(m_items.size()));
    Append16(out, static_cast<uint32_t>(m_items.size()));
    Append32(out, static_cast<uint32_t>(central.size()));
    Append32(out, static_cast<uint32_t>(layout.centralStart - m_prefix.size()));
    Append16(out, static_cast<uint32_t>(m_comment.size()));
    out += m_comment;

    for (const Hook& hook : m_hooks) {
        hook(out, layout);
    }
    if (layoutOut != nullptr) {
        *layoutOut = layout;
    }
    return out;
}

void ZipBuilder::Save(const std::wstring& path) const {
    testing_support::WriteFileBytes(path, Build());
}

}  // namespace tqtest
