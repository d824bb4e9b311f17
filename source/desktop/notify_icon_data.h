#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace modTray {

// Requests, flags and messages of the shell's notification-icon function.
inline constexpr std::uint32_t NIM_ADD = 0;
inline constexpr std::uint32_t NIM_DELETE = 2;
inline constexpr std::uint32_t NIF_MESSAGE = 1;
inline constexpr std::uint32_t NIF_ICON = 2;
inline constexpr std::uint32_t NIF_TIP = 4;

inline constexpr std::uint32_t WM_MOUSEMOVE = 512;
inline constexpr std::uint32_t WM_LBUTTONDOWN = 513;
inline constexpr std::uint32_t WM_LBUTTONUP = 514;
inline constexpr std::uint32_t WM_LBUTTONDBLCLK = 515;
inline constexpr std::uint32_t WM_RBUTTONDOWN = 516;
inline constexpr std::uint32_t WM_RBUTTONUP = 517;
inline constexpr std::uint32_t WM_MBUTTONDOWN = 519;

inline constexpr std::size_t kTipLength = 64;

// The record as the window keeps it: the tip is a fixed field of wide characters.
struct NOTIFYICONDATA {
    std::uint32_t cbSize = 0;
    std::uint32_t hWnd = 0;
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    std::uint32_t hIcon = 0;
    std::array<char16_t, kTipLength> szTip{};

    bool operator==(const NOTIFYICONDATA&) const = default;
};

// The 88-byte ANSI form the shell takes: six little-endian 32-bit integers, then the tip in the
// ANSI code page.
inline constexpr std::size_t kAnsiRecordSize = 88;
using NOTIFYICONDATAA = std::array<std::uint8_t, kAnsiRecordSize>;

NOTIFYICONDATAA ToAnsi(const NOTIFYICONDATA& record);
NOTIFYICONDATA FromAnsi(const NOTIFYICONDATAA& bytes);

// Stores text left-aligned into the fixed tip field and fills the rest with spaces, as a
// fixed-length string field is filled; text longer than the field is cut.
void SetTip(NOTIFYICONDATA& record, std::u16string_view text);

// The tip of an ANSI record up to its first NUL, as UTF-8.
std::string TipText(const NOTIFYICONDATAA& bytes);

} // namespace modTray
