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
    Click(12, IDC_CONNECT);
    EXPECT_EQ(window_->CurrentPage(), PAGE_SERIAL_SETTINGS);

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
    ExpectConnection(L"open", false);

    // Arrow keys on the closed list act once they rest. A port that cannot be opened leaves the
    // link closed and says why in the status bar until a port opens.
    Click(13, IDC_DISCONNECT);
    Send(11, CB_SETCURSEL, 0);
    ComboNotifies(CBN_SELCHANGE);
    EXPECT_EQ(ReadUartComPort(), L"COM5");
    EXPECT_TRUE(PumpMessages(2000, [&] { return ReadUartComPort() == L"COM3"; }));
    ExpectConnection(L"closed", true);
    EXPECT_EQ(Status(), L"串口打开失败: COM3");
    test::PumpPending();
    SaveScreenshot(L"main-page0-open-failed");
    SelectPort(1);
    EXPECT_EQ(Status(), L"");
    link->Close();
}

// "保存" refuses what it cannot save with the page's box and keeps the page, and otherwise saves
// and registers what was chosen; "取消" changes nothing; a hotkey another program holds shows
// "已被占用" beside it.
TEST_F(MainWindowCommandsTest, SavingTheSettingsPages) {
    auto link = MakeLink(L"COM5");
    window_->ShowOnPage(PAGE_SERIAL_SETTINGS);
    Click(23, IDC_SAVE);  // no port to choose
    EXPECT_EQ(window_->CurrentPage(), PAGE_SERIAL_SETTINGS);

    // Another program holds a key the send hotkey is then set to. (Keys of their own per DPI
    // run: the windows of other test processes hold the defaults.)
    constexpr int kOtherId = 77;
    const Hotkey held{HOTKEY_CONTROL | HOTKEY_ALT | HOTKEY_SHIFT, dpi_ == 96 ? 0x7Au : 0x7Bu};
    const Hotkey chosen{HOTKEY_CONTROL | HOTKEY_SHIFT, dpi_ == 96 ? 0x78u : 0x79u};
    ASSERT_TRUE(::RegisterHotKey(nullptr, kOtherId, held.modifiers, held.key));
    ASSERT_TRUE(WriteSettingText(HOTKEY_SEND_SETTING, HotkeyText(held)));
    window_->RegisterHotkeys();
    window_->ShowOnPage(PAGE_SYSTEM);
    EXPECT_TRUE(Visible(32));
    SaveScreenshot(L"main-page2-hotkey-taken");

    Send(22, BM_SETCHECK, BST_CHECKED);  // autostart
    Click(24, IDC_CANCEL_SETTINGS);
    EXPECT_FALSE(ReadAutostart());
    window_->ShowOnPage(PAGE_SYSTEM);
    Send(28, HKM_SETHOTKEY, HotkeyControlValue(held));  // the send hotkey's
    Click(23, IDC_SAVE);
    EXPECT_EQ(boxes_, (std::vector<std::wstring>{main_texts::kChoosePort, HOTKEYS_SAME}));
    EXPECT_EQ(boxTypes_.back(), static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(window_->CurrentPage(), PAGE_SYSTEM);

    Send(28, HKM_SETHOTKEY, HotkeyControlValue(chosen));
    Send(31, HKM_SETHOTKEY, HotkeyControlValue({}));
    Send(26, BM_SETCHECK, BST_UNCHECKED);
    Send(22, BM_SETCHECK, BST_CHECKED);
    Click(23, IDC_SAVE);
    EXPECT_EQ(window_->CurrentPage(), PAGE_CLIPBOARD);
    EXPECT_TRUE(ReadAutostart());
    EXPECT_EQ(ReadSettingText(HOTKEY_SHOW_SETTING), HotkeyText(chosen));
    EXPECT_EQ(ReadSettingText(HOTKEY_SEND_SETTING), L"");
    EXPECT_FALSE(ReadNotifyOnReceive());
    EXPECT_FALSE(window_->HotkeyTaken(HotkeyAction::Send));  // none now, so none taken
    // The new show hotkey is the window's: the other program cannot have it.
    EXPECT_FALSE(::RegisterHotKey(nullptr, kOtherId + 1, chosen.modifiers, chosen.key));
    ::UnregisterHotKey(nullptr, kOtherId);
    ASSERT_TRUE(SetAutostart(false));
    link->Close();
}

TEST_F(MainWindowCommandsTest, ClearHistoryAsksAndMarksWhatIsOnTheClipboard) {
    window_->ShowOnPage(PAGE_CLIPBOARD);
    CZovrelClipboardWatcher watcher(history_.get());
    window_->SetClipboardWatcher(&watcher);
    ASSERT_TRUE(WriteEntryToClipboard(test::TextEntry(L"仍在剪贴板上"), nullptr));
    boxAnswer_ = IDNO;
    Click(9, IDC_CLEAR_HISTORY);
    EXPECT_EQ(RowCount(), 3);
    history_->SetPinned(1, true);
    boxAnswer_ = IDYES;
    Click(9, IDC_CLEAR_HISTORY);
    EXPECT_EQ(RowCount(), 1);  // the pinned entry stays
    EXPECT_EQ(boxes_, (std::vector<std::wstring>{main_texts::kConfirmClearHistory,
                                                 main_texts::kConfirmClearUnpinned}));
    // "否" is the default button: Enter alone keeps the history.
    EXPECT_EQ(boxTypes_[0], static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
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
    const ClipboardEntry files = *history_->GetEntryAt(0);
    const ClipboardEntry image = *history_->GetEntryAt(1);
    const ClipboardEntry text = *history_->GetEntryAt(2);

    // A double click on an image whose file has gone changes neither the list nor the clipboard.
    const std::wstring imageFingerprint = ComputeFingerprint(image);
    const std::wstring away = image.image.Path() + L".away";
    ASSERT_TRUE(::MoveFileW(image.image.Path().c_str(), away.c_str()));
    const DWORD sequence = ::GetClipboardSequenceNumber();
    Row(WM_HISTORY_ACTIVATE, 1);
    EXPECT_EQ(Status(), L"写入剪贴板失败");
    EXPECT_EQ(history_->GetEntryAt(1)->id, image.id);
    EXPECT_EQ(::GetClipboardSequenceNumber(), sequence);
    ASSERT_TRUE(::MoveFileW(away.c_str(), image.image.Path().c_str()));

    // "删除" on the image: its content is marked, so the clipboard cannot bring it back.
    Row(WM_HISTORY_DELETE, 1);
    EXPECT_EQ(RowCount(), 2);
    EXPECT_EQ(watcher.Capture().OwnWriteFingerprint(), imageFingerprint);

    // A double click puts the entry on the clipboard and moves it to the top, adding nothing; a
    // files entry's paths are checked on a thread of its own first.
    for (const ClipboardEntry* entry : {&text, &files}) {
        Row(WM_HISTORY_ACTIVATE, 1);
        EXPECT_EQ(history_->GetEntryCount(), 2);
        EXPECT_EQ(history_->GetEntryAt(0)->id, entry->id);
        ClipboardEntry onClipboard;
        EXPECT_TRUE(test::PumpMessages(5000, [&] {
            return ReadClipboardEntry(nullptr, onClipboard) && onClipboard.kind == entry->kind;
        }));
        EXPECT_EQ(onClipboard.files, entry->files);
        EXPECT_EQ(watcher.Capture().OwnWriteFingerprint(), ComputeFingerprint(onClipboard));
    }

    // The files row's "打开文件夹", and a click on the notice of a received file, open its folder;
    // a failed transfer is noticed.
    Row(WM_HISTORY_OPEN_FOLDER, 0);  // the files row, on top again
    window_->PostReceivedEntry(std::make_unique<ClipboardEntry>(files));
    test::PumpPending();
    EXPECT_EQ(window_->LastNotice().title, L"收到文件");
    window_->OnNoticeClicked();
    EXPECT_EQ(openedFolders_, (std::vector<std::wstring>{filesFolder_, filesFolder_}));
    window_->PostReceiveFailed();
    test::PumpPending();
    EXPECT_EQ(window_->LastNotice().title, L"接收失败");
    window_->SetClipboardWatcher(nullptr);
}

TEST_F(MainWindowCommandsTest, LogPaneCutsAtALineFollowsTheEndAndKeepsTheReadersPlace) {
    ASSERT_TRUE(WriteUartDebugLog(true));
    window_->ShowOnPage(PAGE_CLIPBOARD);
    HWND pane = LogPane();
    // 5130 lines of 40 characters (with the line break), short enough that none wraps: above
    // the size the pane keeps.
    std::wstring text;
    for (int i = 0; i < 5130; ++i) {
        wchar_t line[48];
        swprintf(line, 48, L"%lsL%06d %ls", i > 0 ? L"\r\n" : L"", i,
                 std::wstring(30, L'x').c_str());
        text += line;
    }
    ASSERT_TRUE(LogTrimCut(static_cast<int>(text.size())));
    ::SetWindowTextW(pane, text.c_str());
    ::SendMessageW(pane, WM_VSCROLL, SB_BOTTOM, 0);
    window_->AppendLogLine(L"tail line");

    // Cut back at the start of a line, ending with the new one, still following the end.
    const std::wstring kept = WindowText(pane);
    EXPECT_LT(kept.size(), text.size());
    EXPECT_EQ(kept.substr(0, 1) + kept.substr(7, 1), L"L ");
    EXPECT_EQ(kept.substr(kept.size() - 11), L"\r\ntail line");
    SCROLLINFO info{sizeof(info), SIF_ALL, 0, 0, 0, 0, 0};
    ASSERT_TRUE(::GetScrollInfo(pane, SB_VERT, &info));
    EXPECT_TRUE(IsScrolledToEnd(true, info.nMax, info.nPos, static_cast<int>(info.nPage)));

    // Scrolled up by the user, even when the pane is cut back: the lines being read stay in
    // view, and a selection moves with the text.
    ::SetWindowTextW(pane, text.c_str());
    ::SendMessageW(pane, EM_LINESCROLL, 0, 3000);
    const auto firstVisible = [pane] {
        return static_cast<int>(::SendMessageW(
            pane, EM_LINEINDEX, ::SendMessageW(pane, EM_GETFIRSTVISIBLELINE, 0, 0), 0));
    };
    ASSERT_EQ(text.substr(firstVisible(), 8), L"L003000 ");
    ::SendMessageW(pane, EM_SETSEL, firstVisible(), firstVisible() + 7);
    window_->AppendLogLine(L"one more");
    const std::wstring cut = WindowText(pane);
    EXPECT_LT(cut.size(), text.size());
    EXPECT_EQ(cut.substr(firstVisible(), 8), L"L003000 ");
    DWORD from = 0;
    DWORD to = 0;
    ::SendMessageW(pane, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ(cut.substr(from, to - from), L"L003000");
}

TEST_F(MainWindowCommandsTest, SplitterDragsMoveTheSplitOnlyWithTheLog) {
    ASSERT_TRUE(WriteUartDebugLog(true));
    window_->ShowOnPage(PAGE_CLIPBOARD);
    const int split = window_->SplitPosition();
    window_->OnSplitterDragStart();
    window_->OnSplitterDrag(1, -Px(50));
    window_->OnSplitterDragEnd();
    EXPECT_EQ(Placed(6).h, split - Px(50));

    ASSERT_TRUE(WriteUartDebugLog(false));
    window_->SwitchPage(PAGE_CLIPBOARD);
    window_->OnSplitterDrag(1, Px(40));
    EXPECT_EQ(window_->SplitPosition(), split - Px(50));
}

}  // namespace
}  // namespace zovrel::ui
