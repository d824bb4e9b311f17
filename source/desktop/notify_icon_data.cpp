#include "desktop/notify_icon_data.h"

#include "core/windows1252.h"

#include <string>

namespace modTray {

namespace {

constexpr std::size_t kTipOffset = 24;

void PutUint32(NOTIFYICONDATAA& bytes, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint32_t GetUint32(const NOTIFYICONDATAA& bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(bytes[offset + i]) << (8 * i);
    }
    return value;
}

// Every Windows-1252 character lies in the Basic Multilingual Plane: at most three UTF-8 bytes.
char16_t UnitOf(const std::string& utf8) {
    const auto b = [&](std::size_t i) { return static_cast<char16_t>(static_cast<unsigned char>(utf8[i])); };
    switch (utf8.size()) {
    case 1: return b(0);
    case 2: return static_cast<char16_t>(((b(0) & 0x1F) << 6) | (b(1) & 0x3F));
    default: return static_cast<char16_t>(((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F));
    }
}

} // namespace

NOTIFYICONDATAA ToAnsi(const NOTIFYICONDATA& record) {
    NOTIFYICONDATAA bytes{};
    PutUint32(bytes, 0, record.cbSize);
    PutUint32(bytes, 4, record.hWnd);
    PutUint32(bytes, 8, record.uID);
    PutUint32(bytes, 12, record.uFlags);
    PutUint32(bytes, 16, record.uCallbackMessage);
    PutUint32(bytes, 20, record.hIcon);
    for (std::size_t i = 0; i < kTipLength; ++i) {
        // A lone surrogate is no character: its bytes are invalid UTF-8, which comes out as "?".
        std::string utf8;
        veltrin::AppendUtf8(utf8, record.szTip[i]);
        const std::string ansi = veltrin::Utf8ToWindows1252(utf8);
        bytes[kTipOffset + i] = static_cast<std::uint8_t>(ansi.empty() ? '?' : ansi[0]);
    }
    return bytes;
}

NOTIFYICONDATA FromAnsi(const NOTIFYICONDATAA& bytes) {
    NOTIFYICONDATA record;
    record.cbSize = GetUint32(bytes, 0);
    record.hWnd = GetUint32(bytes, 4);
    record.uID = GetUint32(bytes, 8);
    record.uFlags = GetUint32(bytes, 12);
    record.uCallbackMessage = GetUint32(bytes, 16);
    record.hIcon = GetUint32(bytes, 20);
    for (std::size_t i = 0; i < kTipLength; ++i) {
        const char byte = static_cast<char>(bytes[kTipOffset + i]);
        record.szTip[i] = UnitOf(veltrin::Windows1252ToUtf8(std::string_view(&byte, 1)));
    }
    return record;
}

void SetTip(NOTIFYICONDATA& record, std::u16string_view text) {
    record.szTip.fill(u' ');
    for (std::size_t i = 0; i < kTipLength && i < text.size(); ++i) {
        record.szTip[i] = text[i];
    }
}

std::string TipText(const NOTIFYICONDATAA& bytes) {
    std::string ansi;
    for (std::size_t i = kTipOffset; i < bytes.size() && bytes[i] != 0; ++i) {
        ansi += static_cast<char>(bytes[i]);
    }
    return veltrin::Windows1252ToUtf8(ansi);
}

} // namespace modTray
