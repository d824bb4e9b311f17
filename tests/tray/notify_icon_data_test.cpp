#include "tray/notify_icon_data.h"

#include <gtest/gtest.h>

#include <string>

namespace modTray {
namespace {

TEST(NotifyIconData, AnsiFormHasTheShellsLayout) {
    NOTIFYICONDATA record;
    record.cbSize = 88;
    record.hWnd = 0x00A1B2C4;
    record.uID = 1;
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = WM_MOUSEMOVE;
    record.hIcon = 0x7F3E0010;
    SetTip(record, std::u16string(u"Lumbrel") + u'\0');
    // Six little-endian integers, then the tip, ended by its NUL and filled with spaces.
    const std::string expected = std::string("\x58\0\0\0\xC4\xB2\xA1\0\1\0\0\0\7\0\0\0\0\2\0\0\x10\0\x3E\x7F"
                                             "Lumbrel",
                                             31) +
                                 '\0' + std::string(56, ' ');
    const NOTIFYICONDATAA bytes = ToAnsi(record);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
    EXPECT_EQ(FromAnsi(bytes), record);
}

TEST(NotifyIconData, TipCharactersTakeTheAnsiCodePageAndTheFieldsLength) {
    const struct {
        std::u16string tip;
        std::string bytes;   // the field's first bytes
        std::u16string back; // what comes back from them
    } cases[] = {
        {u"Caf\u00E9", "Caf\xE9 ", u"Caf\u00E9 "},
        {u"\u20AC 5", "\x80 5 ", u"\u20AC 5 "},
        {u"\u65E5\u672C", "?? ", u"?? "}, // not in the code page
        {u"a\xD800z", "a?z ", u"a?z "},   // a lone surrogate
        {std::u16string(70, u'x'), std::string(64, 'x'), std::u16string(64, u'x')},
    };
    for (const auto& c : cases) {
        NOTIFYICONDATA record;
        SetTip(record, c.tip);
        const NOTIFYICONDATAA bytes = ToAnsi(record);
        EXPECT_EQ(std::string(bytes.begin() + 24, bytes.begin() + 24 + static_cast<long>(c.bytes.size())), c.bytes);
        const NOTIFYICONDATA back = FromAnsi(bytes);
        EXPECT_EQ(std::u16string(back.szTip.begin(), back.szTip.begin() + static_cast<long>(c.back.size())), c.back);
    }
}

} // namespace
} // namespace modTray
