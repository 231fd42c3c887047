#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace host {

class TObject {
public:
    virtual ~TObject() = default;
};

using Word = std::uint16_t;

// Shift state: a set of modifier flags.
using TShiftState = unsigned;
constexpr TShiftState ssShift = 1;
constexpr TShiftState ssAlt = 2;
constexpr TShiftState ssCtrl = 4;

// Virtual-key codes the screens use.
constexpr Word VK_BACK = 8;
constexpr Word VK_TAB = 9;
constexpr Word VK_RETURN = 13;
constexpr Word VK_ESCAPE = 27;
constexpr Word VK_SPACE = 32;
constexpr Word VK_PRIOR = 33;
constexpr Word VK_NEXT = 34;
constexpr Word VK_END = 35;
constexpr Word VK_HOME = 36;
constexpr Word VK_LEFT = 37;
constexpr Word VK_UP = 38;
constexpr Word VK_RIGHT = 39;
constexpr Word VK_DOWN = 40;
constexpr Word VK_INSERT = 45;
constexpr Word VK_DELETE = 46;
constexpr Word VK_F1 = 112;
constexpr Word VK_F9 = 120;
constexpr Word VK_F12 = 123;

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TKeyEvent = std::function<void(TObject* Sender, Word& Key, TShiftState Shift)>;

// Modal results and dialog answers.
constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;
constexpr int mrYes = 6;
constexpr int mrNo = 7;

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

using TMsgDlgButtons = unsigned;
constexpr TMsgDlgButtons mbYes = 1;
constexpr TMsgDlgButtons mbNo = 2;
constexpr TMsgDlgButtons mbOK = 4;
constexpr TMsgDlgButtons mbCancel = 8;

enum class TCursor { crDefault, crHourGlass };
enum class TCloseAction { caNone, caHide, caFree, caMinimize };
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum class TFormStyle { fsNormal, fsMDIChild };
enum class TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };
enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// Which edges of its container a control not aligned keeps its distance to:
// anchored to both left and right it grows with the container's width, to
// the right only it moves with it; the same for top and bottom.
using TAnchors = unsigned;
constexpr TAnchors akLeft = 1;
constexpr TAnchors akTop = 2;
constexpr TAnchors akRight = 4;
constexpr TAnchors akBottom = 8;

// Colours the forms name; the desktop maps them to its palette.
enum class TColor { clDefault, clWindow, clBtnFace, clInfoBk, clBlue };

// Parses "Ctrl+L", "F9", "Ctrl+Shift+Enter" into a key and shift state.
bool ParseShortCut(const std::string& text, Word& key, TShiftState& shift);
std::string ShortCutToText(Word key, TShiftState shift);

}  // namespace host
