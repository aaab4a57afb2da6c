// The main window's commands and notifications under Wine: the port combo boxes, connect and
// disconnect on a fake port, saving the settings pages, the clear buttons, the row requests of
// the history list, and the log pane on the real edit control. A send with its progress and
// cancel is driven end to end.

#include <windows.h>

#include <dbt.h>

#include "clipboard/clipboard_watcher.h"
#include "clipboard/fingerprint.h"
#include "main_window_fixture.h"
#include "serial/serial_link.h"
#include "settings/autostart.h"
#include "support/fake_serial_port.h"
#include "transfer/transfer_protocol.h"

namespace zovrel::ui {
namespace {

using test::PumpMessages;

class MainWindowCommandsTest : public MainWindowTest {
  protected:
    // A link on an in-memory port named `name`, set on the window; the reader is never started.
    std::unique_ptr<SerialLink> MakeLink(const std::wstring& name) {
        auto port = std::make_unique<test::FakeSerialPort>(name);
        port_ = port.get();
        SerialLink::Options options;
        options.presence = port_;
        options.port = std::move(port);
        options.manualReader = true;
        options.configuredPort = [] { return ReadUartComPort(); };
        auto link = std::make_unique<SerialLink>(window_.get(), std::move(options));
        window_->SetSerialLink(link.get());
        return link;
    }

    LRESULT Send(int number, UINT message, WPARAM w = 0, LPARAM l = 0) {
        return ::SendMessageW(Control(number), message, w, l);
    }
    std::wstring ComboItem(int number, int index) {
        wchar_t text[256] = {};
        Send(number, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
        return text;
    }
    void ComboNotifies(int code) {
        ::SendMessageW(Main(), WM_COMMAND, MAKEWPARAM(IDC_PORT_COMBO, code),
                       reinterpret_cast<LPARAM>(Control(11)));
    }
    // As a click on an item of the dropped list does: the selection moves, the list closes.
    void SelectPort(int index) {
        Send(11, CB_SETCURSEL, static_cast<WPARAM>(index));
        ComboNotifies(CBN_SELCHANGE);
        ComboNotifies(CBN_CLOSEUP);
        ComboNotifies(CBN_SELENDOK);
    }
    // The connection state text and whether "连接" and "断开" are enabled.
    void ExpectConnection(const wchar_t* state, bool connect) {
        EXPECT_EQ(WindowText(Control(14)), state);
        EXPECT_EQ(Enabled(12), connect);
        EXPECT_EQ(Enabled(13), !connect);
    }

    test::FakeSerialPort* port_ = nullptr;
};

TEST_F(MainWindowCommandsTest, PortCombosConnectAndDisconnect) {
    auto link = MakeLink(L"COM5");
    // No port at all: "连接" opens the serial settings page.
    window_->ShowOnPage(PAGE_CLIPBOARD);
    EXPECT_EQ(Send(11, CB_GETCURSEL), -1);
    Click(12, IDC_CONNECT);
    EXPECT_EQ(window_->CurrentPage(), PAGE_SERIAL_SETTINGS);
    EXPECT_TRUE(::IsWindowVisible(Main()));

    ports_ = {{L"COM3", L"USB Serial Device (COM3)", L"USB Serial Device (COM3)"},
              {L"COM9", L"COM9", L""}};
    ASSERT_TRUE(WriteUartComPort(L"COM7"));
    window_->ShowOnPage(PAGE_CLIPBOARD);
    // A device arriving or leaving enumerates again; the saved, missing port stays selected.
    ports_[1] = {L"COM5", L"COM5", L""};
    ::SendMessageW(Main(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    ASSERT_EQ(Send(11, CB_GETCOUNT), 3);
    EXPECT_EQ(Send(11, CB_GETCURSEL), 2);
    test::PumpPending();
    SaveScreenshot(L"main-page0-missing-port");

    // Choosing a port saves and opens it, once, however many notifications the choice makes.
    // "断开" closes it and "连接" takes the selected port.
    SelectPort(1);
    EXPECT_EQ(ReadUartComPort(), L"COM5");
    EXPECT_EQ(port_->opens(), 1);
    Click(13, IDC_DISCONNECT);
    ExpectConnection(L"closed", true);
    Click(12, IDC_CONNECT);
    EXPECT_TRUE(link->IsOpen());
    ExpectConnection(L"open", false);

    // A port that cannot be opened leaves the link closed and says why in the status bar, log
    // shown or not, until a port opens.
    Click(13, IDC_DISCONNECT);
    Send(11, CB_SETCURSEL, 0);
    ComboNotifies(CBN_SELCHANGE);
    EXPECT_EQ(ReadUartComPort(), L"COM5");  // arrow keys on the closed list act once they rest
    EXPECT_TRUE(PumpMessages(2000, [&] { return ReadUartComPort() == L"COM3"; }));
    ExpectConnection(L"closed", true);
    EXPECT_EQ(Status(), L"串口打开失败: COM3");
    test::PumpPending();
    SaveScreenshot(L"main-page0-open-failed");
    SelectPort(1);
    EXPECT_EQ(Status(), L"");
    Click(13, IDC_DISCONNECT);

    link->Close();
}

TEST_F(MainWindowCommandsTest, SavingTheSettingsPages) {
    auto link = MakeLink(L"COM5");
    // No port to choose: the box, and the page stays.
    window_->ShowOnPage(PAGE_SERIAL_SETTINGS);
    Click(23, IDC_SAVE);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0], L"请选择串口");
    EXPECT_EQ(window_->CurrentPage(), PAGE_SERIAL_SETTINGS);

    // Autostart on the system page: "取消" changes nothing, "保存" turns it on.
    window_->ShowOnPage(PAGE_SYSTEM);
    Send(22, BM_SETCHECK, BST_CHECKED);
    Click(24, IDC_CANCEL_SETTINGS);
    EXPECT_FALSE(ReadAutostart());
    window_->ShowOnPage(PAGE_SYSTEM);
    Send(22, BM_SETCHECK, BST_CHECKED);
    Click(23, IDC_SAVE);
    EXPECT_TRUE(ReadAutostart());
    ASSERT_TRUE(SetAutostart(false));
    EXPECT_EQ(boxes_.size(), 1u);  // no failure reported
    link->Close();
}

// A hotkey another program holds shows "已被占用" beside it; "保存" refuses a bad pair with the
// settings page's box and otherwise saves and registers what was chosen.
TEST_F(MainWindowCommandsTest, SystemPageHotkeysTakenRefusedAndSaved) {
    // Another program holds a key the send hotkey is then set to. (Keys of their own per DPI
    // run: the windows of other test processes hold the defaults.)
    constexpr int kOtherId = 77;
    const Hotkey held{HOTKEY_CONTROL | HOTKEY_ALT | HOTKEY_SHIFT, dpi_ == 96 ? 0x7Au : 0x7Bu};
    const Hotkey chosen{HOTKEY_CONTROL | HOTKEY_SHIFT, dpi_ == 96 ? 0x78u : 0x79u};
    ASSERT_TRUE(::RegisterHotKey(nullptr, kOtherId, held.modifiers, held.key));
    ASSERT_TRUE(WriteSettingText(HOTKEY_SEND_SETTING, HotkeyText(held)));
    window_->RegisterHotkeys();
    EXPECT_TRUE(window_->HotkeyTaken(HotkeyAction::Send));
    window_->ShowOnPage(PAGE_SYSTEM);
    const ClientSize minimum = PageMinimumClientSize(PAGE_SYSTEM, dpi_);
    SetClientSize(minimum.width, minimum.height);
    EXPECT_TRUE(Visible(32));
    SaveScreenshot(L"main-page2-hotkey-taken");

    const auto setHotkey = [this](int number, Hotkey hotkey) {
        Send(number, HKM_SETHOTKEY, HotkeyControlValue(hotkey));
    };
    setHotkey(28, held);
    Click(23, IDC_SAVE);
    EXPECT_EQ(boxes_, (std::vector<std::wstring>{HOTKEYS_SAME}));
    EXPECT_EQ(boxTypes_.back(), static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(window_->CurrentPage(), PAGE_SYSTEM);

    setHotkey(28, chosen);
    setHotkey(31, {});
    Send(26, BM_SETCHECK, BST_UNCHECKED);
    Click(23, IDC_SAVE);
    EXPECT_EQ(window_->CurrentPage(), PAGE_CLIPBOARD);
    EXPECT_EQ(ReadSettingText(HOTKEY_SHOW_SETTING), HotkeyText(chosen));
    EXPECT_EQ(ReadSettingText(HOTKEY_SEND_SETTING), L"");
    EXPECT_FALSE(ReadNotifyOnReceive());
    EXPECT_FALSE(window_->HotkeyTaken(HotkeyAction::Send));  // none now, so none taken
    // The new show hotkey is the window's: the other program cannot have it.
    EXPECT_FALSE(::RegisterHotKey(nullptr, kOtherId + 1, chosen.modifiers, chosen.key));
    ::UnregisterHotKey(nullptr, kOtherId);
}

// A notice of a received file opens its folder when clicked; a failed transfer is noticed.
TEST_F(MainWindowCommandsTest, ClickOnANoticeOpensTheFilesFolderOrShowsTheWindow) {
    // The fixture's files entry, as the device would send it.
    window_->PostReceivedEntry(std::make_unique<ClipboardEntry>(*history_->GetEntryAt(0)));
    test::PumpPending();
    EXPECT_EQ(window_->LastNotice().title, L"收到文件");
    window_->OnNoticeClicked();
    EXPECT_EQ(openedFolders_, (std::vector<std::wstring>{filesFolder_}));
    window_->PostReceiveFailed();
    test::PumpPending();
    EXPECT_EQ(window_->LastNotice().title, L"接收失败");
}

TEST_F(MainWindowCommandsTest, ClearHistoryAsksAndMarksWhatIsOnTheClipboard) {
    window_->ShowOnPage(PAGE_CLIPBOARD);
    CZovrelClipboardWatcher watcher(history_.get());
    window_->SetClipboardWatcher(&watcher);
    ASSERT_TRUE(WriteEntryToClipboard(test::TextEntry(L"仍在剪贴板上"), nullptr));
    boxAnswer_ = IDNO;
    Click(9, IDC_CLEAR_HISTORY);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0], L"确定清空全部剪贴板历史？");
    // "否" is the default button: Enter alone keeps the history.
    EXPECT_EQ(boxTypes_[0], static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
    EXPECT_EQ(RowCount(), 3);

    history_->SetPinned(1, true);
    boxAnswer_ = IDYES;
    Click(9, IDC_CLEAR_HISTORY);
    EXPECT_EQ(boxes_[1], L"清空所有未固定的记录？");  // the pinned entry stays
    EXPECT_EQ(RowCount(), 1);
    // What is still on the clipboard counts as the program's own, so it does not come back.
    ClipboardEntry onClipboard;
    ASSERT_TRUE(ReadClipboardEntry(nullptr, onClipboard));
    EXPECT_EQ(watcher.Capture().OwnWriteFingerprint(), ComputeFingerprint(onClipboard));

    Click(9, IDC_CLEAR_HISTORY);  // nothing but pins: no question
    EXPECT_EQ(boxes_.size(), 2u);
    window_->SetClipboardWatcher(nullptr);
}

TEST_F(MainWindowCommandsTest, RowRequestsFromTheHistoryList) {
    CZovrelClipboardWatcher watcher(history_.get());
    window_->SetClipboardWatcher(&watcher);
    window_->ShowOnPage(PAGE_CLIPBOARD);
    ASSERT_EQ(RowCount(), 3);
    const ClipboardEntry files = *history_->GetEntryAt(0);
    const ClipboardEntry image = *history_->GetEntryAt(1);
    const ClipboardEntry text = *history_->GetEntryAt(2);

    Row(WM_HISTORY_OPEN_FOLDER, 0);
    EXPECT_EQ(openedFolders_, std::vector<std::wstring>{filesFolder_});

    // A double click on an image whose file has gone changes neither the list nor the clipboard.
    const std::wstring imageFingerprint = ComputeFingerprint(image);
    ASSERT_TRUE(image.image.IsFile());
    const std::wstring away = image.image.Path() + L".away";
    ASSERT_TRUE(::MoveFileW(image.image.Path().c_str(), away.c_str()));
    ClipboardEntry before;
    ReadClipboardEntry(nullptr, before);
    Row(WM_HISTORY_ACTIVATE, 1);
    EXPECT_EQ(Status(), L"写入剪贴板失败");
    EXPECT_EQ(history_->GetEntryAt(1)->id, image.id);
    ClipboardEntry after;
    ReadClipboardEntry(nullptr, after);
    EXPECT_EQ(std::tie(after.kind, after.text), std::tie(before.kind, before.text));
    ASSERT_TRUE(::MoveFileW(away.c_str(), image.image.Path().c_str()));

    // "删除" on the image: its content is marked, so the clipboard cannot bring it back.
    Send(6, LB_SETCURSEL, 0);
    Row(WM_HISTORY_DELETE, 1);
    EXPECT_EQ(RowCount(), 2);
    EXPECT_EQ(history_->GetEntryAt(1)->id, text.id);
    EXPECT_EQ(watcher.Capture().OwnWriteFingerprint(), imageFingerprint);
    EXPECT_EQ(Status(), L"");

    // A double click puts the entry on the clipboard and moves it to the top, adding nothing.
    Row(WM_HISTORY_ACTIVATE, 1);
    EXPECT_EQ(history_->GetEntryCount(), 2);
    EXPECT_EQ(history_->GetEntryAt(0)->id, text.id);
    ClipboardEntry onClipboard;
    ASSERT_TRUE(ReadClipboardEntry(nullptr, onClipboard));
    EXPECT_EQ(watcher.Capture().OwnWriteFingerprint(), ComputeFingerprint(onClipboard));

    // A files entry: its paths are checked on a thread of its own, then it goes on the
    // clipboard.
    Row(WM_HISTORY_ACTIVATE, 1);
    EXPECT_EQ(history_->GetEntryAt(0)->id, files.id);
    ClipboardEntry filesOnClipboard;
    EXPECT_TRUE(test::PumpMessages(5000, [&] {
        return ReadClipboardEntry(nullptr, filesOnClipboard) &&
               filesOnClipboard.kind == ENTRY_KIND_FILES;
    }));
    EXPECT_EQ(filesOnClipboard.files, files.files);
    window_->SetClipboardWatcher(nullptr);
}

TEST_F(MainWindowCommandsTest, LogPaneCutsAtALineFollowsTheEndAndKeepsTheReadersPlace) {
    ASSERT_TRUE(WriteUartDebugLog(true));
    window_->ShowOnPage(PAGE_CLIPBOARD);
    HWND pane = LogPane();
    // 5130 lines of 40 characters (with the line break), short enough that none wraps.
    std::wstring text;
    for (int i = 0; i < 5130; ++i) {
        wchar_t line[48];
        swprintf(line, 48, L"%lsL%06d %ls", i > 0 ? L"\r\n" : L"", i,
                 std::wstring(30, L'x').c_str());
        text += line;
    }
    ASSERT_EQ(text.size(), 205198u);
    ::SetWindowTextW(pane, text.c_str());
    ::SendMessageW(pane, WM_VSCROLL, SB_BOTTOM, 0);
    window_->AppendLogLine(L"tail line");

    // Cut back to the kept size, at the start of a line, ending with the new one.
    const std::wstring kept = WindowText(pane);
    EXPECT_GE(kept.size(), 163840u);
    EXPECT_LE(kept.size(), 163840u + 40u + 11u);
    EXPECT_EQ(kept.substr(0, 1) + kept.substr(7, 1), L"L ");
    EXPECT_EQ(kept.substr(kept.size() - 11), L"\r\ntail line");
    SCROLLINFO info{sizeof(info), SIF_ALL, 0, 0, 0, 0, 0};
    ASSERT_TRUE(::GetScrollInfo(pane, SB_VERT, &info));
    EXPECT_TRUE(IsScrolledToEnd(true, info.nMax, info.nPos, static_cast<int>(info.nPage)));

    // Scrolled up by the user: a new line does not pull the view down.
    ::SendMessageW(pane, WM_VSCROLL, SB_TOP, 0);
    window_->AppendLogLine(L"another line");
    ASSERT_TRUE(::GetScrollInfo(pane, SB_VERT, &info));
    EXPECT_EQ(info.nPos, 0);
    EXPECT_EQ(WindowText(pane).substr(WindowText(pane).size() - 12), L"another line");

    // Even when the pane is cut back, the lines being read stay in view.
    ::SetWindowTextW(pane, text.c_str());
    ::SendMessageW(pane, EM_LINESCROLL, 0, 3000);
    const auto firstVisibleLine = [pane] {
        wchar_t buffer[64] = {};
        *reinterpret_cast<WORD*>(buffer) = 63;
        const LRESULT copied =
            ::SendMessageW(pane, EM_GETLINE, ::SendMessageW(pane, EM_GETFIRSTVISIBLELINE, 0, 0),
                           reinterpret_cast<LPARAM>(buffer));
        return std::wstring(buffer, static_cast<size_t>(copied));
    };
    const std::wstring reading = firstVisibleLine();
    ASSERT_EQ(reading.substr(0, 8), L"L003000 ");
    // The reader has selected the line number to copy it: the selection moves with the text.
    const auto start = static_cast<int>(
        ::SendMessageW(pane, EM_LINEINDEX, ::SendMessageW(pane, EM_GETFIRSTVISIBLELINE, 0, 0), 0));
    ::SendMessageW(pane, EM_SETSEL, start, start + 7);
    window_->AppendLogLine(L"one more");
    EXPECT_LT(WindowText(pane).size(), 170000u);
    EXPECT_EQ(firstVisibleLine(), reading);
    DWORD from = 0;
    DWORD to = 0;
    ::SendMessageW(pane, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ(WindowText(pane).substr(from, to - from), L"L003000");
}

TEST_F(MainWindowCommandsTest, SplitterDragsMoveTheSplitOnlyWithTheLog) {
    ASSERT_TRUE(WriteUartDebugLog(true));
    window_->ShowOnPage(PAGE_CLIPBOARD);
    const int split = window_->SplitPosition();
    window_->OnSplitterDragStart();
    window_->OnSplitterDrag(1, -Px(50));
    EXPECT_EQ(Placed(6).h, split - Px(50));
    window_->OnSplitterDrag(1, -100000);  // clamped
    EXPECT_EQ(window_->SplitPosition(), Px(60));
    window_->OnSplitterDragEnd();
    EXPECT_FALSE(window_->Preview().IsShown());

    ASSERT_TRUE(WriteUartDebugLog(false));
    window_->SwitchPage(PAGE_CLIPBOARD);
    window_->OnSplitterDrag(1, Px(40));
    EXPECT_EQ(window_->SplitPosition(), Px(60));
}

}  // namespace
}  // namespace zovrel::ui
