#pragma once

// The main window's decisions that need no window: its texts, the log pane's trimming and
// scrolling rules, which port the combo boxes select, the transfer text, the folder an entry
// opens and how the history list keeps its place. The window code only carries them out.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "clipboard/clipboard_entry.h"
#include "serial/port_enumeration.h"

namespace zovrel::ui {

// Every text of the main window the user sees.
namespace main_texts {
inline constexpr wchar_t kCaption[] = L"zovrel";
inline constexpr wchar_t kTitleClipboard[] = L"zovrel";
inline constexpr wchar_t kTitleSerialSettings[] = L"zovrel - 串口设置";
inline constexpr wchar_t kTitleSystem[] = L"zovrel - 系统";

inline constexpr wchar_t kClipboardHeading[] = L"剪贴板";
inline constexpr wchar_t kLogHeading[] = L"串口 / 日志";
inline constexpr wchar_t kClearLog[] = L"清空日志";
inline constexpr wchar_t kHistoryHeading[] = L"历史记录";
inline constexpr wchar_t kClearHistory[] = L"全部清空";
inline constexpr wchar_t kConnect[] = L"连接";
inline constexpr wchar_t kDisconnect[] = L"断开";
inline constexpr wchar_t kCancelSend[] = L"放弃";
inline constexpr wchar_t kSerialSettingsHeading[] = L"串口设置";
inline constexpr wchar_t kSystemHeading[] = L"系统";
inline constexpr wchar_t kPortLabel[] = L"串口";
inline constexpr wchar_t kDebugLogCheck[] = L"开启串口调试日志";
inline constexpr wchar_t kAutostartCheck[] = L"开机时自动启动 zovrel";
inline constexpr wchar_t kSave[] = L"保存";
inline constexpr wchar_t kCancelSettings[] = L"取消";
inline constexpr wchar_t kNotifyCheck[] = L"收到内容时通知";
inline constexpr wchar_t kShowHotkeyLabel[] = L"显示剪贴板历史";
inline constexpr wchar_t kSendHotkeyLabel[] = L"发送最新内容到设备";
inline constexpr wchar_t kHotkeyTaken[] = L"已被占用";
inline constexpr wchar_t kLogHotkeyTaken[] = L"快捷键 %ls 已被占用";
inline constexpr wchar_t kNothingToSend[] = L"历史记录为空";

inline constexpr wchar_t kMenuSerialSettings[] = L"串口设置";
inline constexpr wchar_t kMenuSystem[] = L"系统";
inline constexpr wchar_t kMenuAbout[] = L"关于";
inline constexpr wchar_t kMenuExit[] = L"退出";
// The menu button's accessible name (its picture has no text of its own).
inline constexpr wchar_t kMenuButtonName[] = L"菜单";

inline constexpr wchar_t kStateOpen[] = L"open";
inline constexpr wchar_t kStateClosed[] = L"closed";

inline constexpr wchar_t kLogStarted[] = L"zovrel 已启动";
inline constexpr wchar_t kLogFileLine[] = L"日志文件: %ls";
inline constexpr wchar_t kLogFileStartedLine[] = L"zovrel 已启动 · log=";
inline constexpr wchar_t kLogCleared[] = L"日志已清空";

inline constexpr wchar_t kConfirmClearHistory[] = L"确定清空全部剪贴板历史？";
// Asked instead when pinned entries stay.
inline constexpr wchar_t kConfirmClearUnpinned[] = L"清空所有未固定的记录？";
inline constexpr wchar_t kHistoryFullOfPins[] = L"历史记录已满（全部已固定）";
inline constexpr wchar_t kAutostartFailed[] = L"开机自启动设置失败";
inline constexpr wchar_t kChoosePort[] = L"请选择串口";

inline constexpr wchar_t kPortNotOpen[] = L"串口未连接";
inline constexpr wchar_t kPortOpenFailed[] = L"串口打开失败: %ls";
inline constexpr wchar_t kPortMissing[] = L"%ls (未找到)";
inline constexpr wchar_t kSendBusy[] = L"另一个剪贴板传输正在进行中";
inline constexpr wchar_t kSendTaskFailed[] = L"无法启动发送任务";
inline constexpr wchar_t kSendFailed[] = L"发送失败";
inline constexpr wchar_t kClipboardWriteFailed[] = L"写入剪贴板失败";
inline constexpr wchar_t kOpenFolderFailed[] = L"无法打开文件所在目录";
inline constexpr wchar_t kCancelling[] = L"正在取消…";
}  // namespace main_texts

// The window title of a page.
const wchar_t* PageTitle(int page);

// --- the log pane ---

// The pane is cut back once it holds more than this many characters, to about the last
// LOG_KEEP_CHARS, starting at a line boundary. The edit control itself holds LOG_PANE_LIMIT.
constexpr int LOG_TRIM_THRESHOLD = 204800;
constexpr int LOG_KEEP_CHARS = 163840;
constexpr int LOG_PANE_LIMIT = 262144;

// Where the text to drop would be cut for a pane of `length` characters; none when the pane is
// short enough.
std::optional<int> LogTrimCut(int length);
// The end of the text to remove, given the start of the line holding the cut (negative when it
// could not be found): that line start, else the cut itself. 0 means nothing is removed.
int LogTrimEnd(int cut, int lineStart);

// Whether the pane counts as scrolled to its end, from its vertical scroll information
// (`infoRead` false when it could not be read).
bool IsScrolledToEnd(bool infoRead, int maximum, int position, int page);

// --- port combo boxes ---

// What the page-0 port combo box selects after a refill: an index into the enumerated names,
// or, when the saved port is missing from them, the saved port appended as one more item.
struct ClipboardPortChoice {
    int selected = -1;             // -1: nothing
    bool appendSavedPort = false;  // the saved name is added as the last item (and selected)
};
ClipboardPortChoice ChooseClipboardPort(const std::vector<std::wstring>& names,
                                        const std::wstring& savedPort);
// The settings page's choice: the saved port (compared as read, not trimmed) or item 0; -1
// when there are no ports. A missing saved port is not added there.
int ChooseSettingsPort(const std::vector<std::wstring>& names, const std::wstring& savedPort);

// The page-0 item of a present port: its name first, so two identical adapters can be told
// apart, then the device's description without a "(COM5)" it may repeat: "COM5 - USB Serial".
std::wstring ClipboardPortText(const PortInfo& port);
// The page-0 item of a saved port that is not present: "COM5 (未找到)".
std::wstring MissingPortText(const std::wstring& name);

// A choice in the page-0 port combo is acted on once, when it is made: when its list closes,
// or PORT_CHOICE_DELAY_MS after the last arrow key moved the selection with the list closed.
// Moves inside the open list wait for it to close.
inline constexpr unsigned PORT_CHOICE_DELAY_MS = 500;
enum class PortComboEvent { SELECTION_MOVED, LIST_CLOSED, DELAY_ENDED };
enum class PortComboAction { NONE, START_DELAY, CHOOSE };
PortComboAction PortComboActionFor(PortComboEvent event, bool listDropped);
// Whether choosing `selected` opens it: not when it is empty, or the port already open or being
// opened (`current`, letter case ignored), so the same choice seen twice opens once.
bool PortChoiceOpens(const std::wstring& selected, const std::wstring& current, bool openOrOpening);

// The stored name of a combo item, trimmed; empty outside the array.
std::wstring PortNameAt(const std::vector<std::wstring>& names, int index);

// The port "连接" opens: the selected item's name when it has one, else the saved port; trimmed.
std::wstring ChooseConnectPort(const std::wstring& savedPort, const std::wstring& selectedName);

// --- transfer controls ---

// The new transfer text for a progress report; none leaves the text as it is.
std::optional<std::wstring> TransferTextFor(int percent, const std::wstring& text);

struct ProgressBarState {
    bool shown = false;
    int position = 0;  // meaningful when shown
};
ProgressBarState ProgressBarFor(int percent, bool sending);

// What the status line says when a send ends without success.
std::wstring SendFailureText(const std::wstring& error);

// --- entries ---

// The folder "打开目录" opens for an entry: files entries only, from the first non-empty path
// (or the entry's text), cut at the last separator. Empty when there is none.
std::wstring EntryFolderPath(const ClipboardEntry& entry);

// How the history list keeps its place after the history changed.
struct HistoryListPlace {
    int selection = -1;           // -1: none (no rows)
    int topIndex = 0;
};
// `rowCount` is the list's old row count (negative when it could not be read), `topIndex` and
// `selection` its old top row and selection, `count` the new number of entries.
HistoryListPlace PlaceHistoryList(int rowCount, int topIndex, int selection, int count);

// The row texts: "1", "2", ...
std::wstring HistoryRowText(int index);

}  // namespace zovrel::ui
