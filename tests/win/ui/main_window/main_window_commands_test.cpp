// The main window's commands and notifications under Wine: the port combo boxes, connect and
// disconnect on a fake port, saving the settings pages, the clear buttons, the row requests of
// the history list, a send on its own thread with cancel, and the log pane on the real edit
// control.

#include <windows.h>

#include <commctrl.h>

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
using test::PumpPending;

class MainWindowCommandsTest : public MainWindowTest {
  protected:
    // A link on an in-memory port named `name`; the reader is never started.
    std::unique_ptr<SerialLink> MakeLink(const std::wstring& name) {
        auto port = std::make_unique<test::FakeSerialPort>(name);
        port_ = port.get();
        SerialLink::Options options;
        options.presence = port_;
        options.port = std::move(port);
        options.manualReader = true;
        options.configuredPort = [] { return ReadUartComPort(); };
        return std::make_unique<SerialLink>(window_.get(), std::move(options));
    }

    HWND Control(int number) const { return window_->ControlWindow(number); }
    bool Enabled(int number) const { return ::IsWindowEnabled(Control(number)) != FALSE; }
    int ComboCount(int number) const {
        return static_cast<int>(::SendMessageW(Control(number), CB_GETCOUNT, 0, 0));
    }
    int ComboSelection(int number) const {
        return static_cast<int>(::SendMessageW(Control(number), CB_GETCURSEL, 0, 0));
    }
    std::wstring ComboItem(int number, int index) const {
        wchar_t text[256] = {};
        ::SendMessageW(Control(number), CB_GETLBTEXT, static_cast<WPARAM>(index),
                       reinterpret_cast<LPARAM>(text));
        return text;
    }
    void SelectPort(int index) {
        ::SendMessageW(Control(11), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        ::SendMessageW(Main(), WM_COMMAND, MAKEWPARAM(IDC_PORT_COMBO, CBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(Control(11)));
    }
    void SetCheck(int number, bool on) {
        ::SendMessageW(Control(number), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    LRESULT Row(UINT message, int row) {
        return ::SendMessageW(Main(), message, static_cast<WPARAM>(row), 0);
    }
    std::wstring Status() const { return WindowText(StatusLine()); }
    std::wstring TransferText() const { return WindowText(Control(15)); }
    int RowCount() const { return static_cast<int>(::SendMessageW(Control(6), LB_GETCOUNT, 0, 0)); }

    test::FakeSerialPort* port_ = nullptr;
};

TEST_F(MainWindowCommandsTest, PortCombosConnectAndDisconnect) {
    ports_ = {{L"COM3", L"USB Serial Device (COM3)"}, {L"COM5", L"COM5"}};
    ASSERT_TRUE(WriteUartComPort(L"COM7"));
    // Without a link no port is listed but the saved one, and there is no state.
    window_->ShowOnPage(PAGE_CLIPBOARD);
    ASSERT_EQ(ComboCount(11), 1);
    EXPECT_EQ(ComboItem(11, 0), L"COM7");
    EXPECT_EQ(WindowText(Control(14)), L"");

    auto link = MakeLink(L"COM5");
    window_->SetSerialLink(link.get());
    // The saved port is missing from the list: it is appended and selected.
    ASSERT_EQ(ComboCount(11), 3);
    EXPECT_EQ(ComboItem(11, 0), L"USB Serial Device (COM3)");
    EXPECT_EQ(ComboItem(11, 2), L"COM7");
    EXPECT_EQ(ComboSelection(11), 2);
    EXPECT_EQ(WindowText(Control(14)), L"closed");
    EXPECT_TRUE(Enabled(12));
    EXPECT_FALSE(Enabled(13));

    // The settings page lists only present ports and falls back to the first.
    window_->ShowOnPage(PAGE_SERIAL_SETTINGS);
    EXPECT_EQ(ComboCount(20), 2);
    EXPECT_EQ(ComboSelection(20), 0);
    EXPECT_EQ(::SendMessageW(Control(21), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    Click(24, IDC_CANCEL_SETTINGS);
    EXPECT_EQ(window_->CurrentPage(), PAGE_CLIPBOARD);

    // Choosing a port saves and opens it.
    SelectPort(1);
    EXPECT_EQ(ReadUartComPort(), L"COM5");
    EXPECT_TRUE(link->IsOpen());
    EXPECT_EQ(WindowText(Control(14)), L"open");
    EXPECT_FALSE(Enabled(12));
    EXPECT_TRUE(Enabled(13));

    Click(13, IDC_DISCONNECT);
    EXPECT_FALSE(link->IsOpen());
    EXPECT_EQ(WindowText(Control(14)), L"closed");
    EXPECT_TRUE(Enabled(12));
    EXPECT_FALSE(Enabled(13));

    // "连接" takes the selected port.
    Click(12, IDC_CONNECT);
    EXPECT_TRUE(link->IsOpen());
    EXPECT_EQ(WindowText(Control(14)), L"open");

    // A port that cannot be opened leaves the link closed.
    Click(13, IDC_DISCONNECT);
    SelectPort(0);
    EXPECT_EQ(ReadUartComPort(), L"COM3");
    EXPECT_FALSE(link->IsOpen());
    EXPECT_EQ(WindowText(Control(14)), L"closed");

    window_->SetSerialLink(nullptr);
    EXPECT_EQ(WindowText(Control(14)), L"");
    Click(12, IDC_CONNECT);  // nothing without a link
    EXPECT_EQ(window_->CurrentPage(), PAGE_CLIPBOARD);
    link->Close();
}

TEST_F(MainWindowCommandsTest, ConnectWithoutAnyPortOpensTheSettingsPage) {
    auto link = MakeLink(L"COM5");
    window_->SetSerialLink(link.get());
    window_->ShowOnPage(PAGE_CLIPBOARD);
    EXPECT_EQ(ComboCount(11), 0);
    EXPECT_EQ(ComboSelection(11), -1);
    Click(12, IDC_CONNECT);
    EXPECT_EQ(window_->CurrentPage(), PAGE_SERIAL_SETTINGS);
    EXPECT_EQ(WindowText(Main()), L"zovrel - 串口设置");
    EXPECT_TRUE(::IsWindowVisible(Main()));
}

TEST_F(MainWindowCommandsTest, SavingTheSettingsPages) {
    auto link = MakeLink(L"COM5");
    window_->SetSerialLink(link.get());

    // No port to choose: the box, and the page stays.
    window_->ShowOnPage(PAGE_SERIAL_SETTINGS);
    Click(23, IDC_SAVE);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, L"请选择串口");
    EXPECT_EQ(boxes_[0].type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(window_->CurrentPage(), PAGE_SERIAL_SETTINGS);

    // Enter goes to "保存" through the message loop's IsDialogMessage.
    ::SetFocus(Control(21));
    MSG enter{Control(21), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    EXPECT_TRUE(::IsDialogMessageW(Main(), &enter));
    EXPECT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(::SendMessageW(Main(), DM_GETDEFID, 0, 0), MAKELRESULT(IDC_SAVE, DC_HASDEFID));

    // With a port: saved with the debug-log switch, opened, back on page 0 with the log.
    ports_ = {{L"COM5", L"Virtual port (COM5)"}};
    window_->ShowOnPage(PAGE_SERIAL_SETTINGS);
    ASSERT_EQ(ComboSelection(20), 0);
    SetCheck(21, true);
    Click(23, IDC_SAVE);
    EXPECT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(ReadUartComPort(), L"COM5");
    EXPECT_TRUE(ReadUartDebugLog());
    EXPECT_TRUE(link->IsOpen());
    EXPECT_EQ(window_->CurrentPage(), PAGE_CLIPBOARD);
    EXPECT_TRUE(window_->LogShown());
    EXPECT_TRUE(::IsWindowVisible(LogPane()));
    EXPECT_EQ(WindowText(Control(14)), L"open");
    EXPECT_EQ(::SendMessageW(Main(), DM_GETDEFID, 0, 0), 0);

    // Autostart on the system page, on and off again; "取消" changes nothing.
    window_->ShowOnPage(PAGE_SYSTEM);
    EXPECT_EQ(::SendMessageW(Control(22), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    SetCheck(22, true);
    Click(24, IDC_CANCEL_SETTINGS);
    EXPECT_FALSE(ReadAutostart());
    EXPECT_EQ(window_->CurrentPage(), PAGE_CLIPBOARD);
    for (const bool on : {true, false}) {
        window_->ShowOnPage(PAGE_SYSTEM);
        SetCheck(22, on);
        Click(23, IDC_SAVE);
        EXPECT_EQ(ReadAutostart(), on);
        EXPECT_EQ(window_->CurrentPage(), PAGE_CLIPBOARD);
    }
    EXPECT_EQ(boxes_.size(), 2u);  // the registry accepted both
    link->Close();
}

TEST_F(MainWindowCommandsTest, MenuButtonAndMenuCommands) {
    window_->ShowOnPage(PAGE_CLIPBOARD);
    // The menu is modal: a timer reads it and closes it.
    static std::vector<std::pair<UINT, std::wstring>> items;
    items.clear();
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR id, DWORD) {
        HWND popup = ::FindWindowW(L"#32768", nullptr);
        auto menu = reinterpret_cast<HMENU>(::SendMessageW(popup, MN_GETHMENU, 0, 0));
        for (int i = 0; menu != nullptr && i < ::GetMenuItemCount(menu); ++i) {
            wchar_t text[64] = {};
            ::GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
            items.emplace_back(::GetMenuItemID(menu, i), text);
        }
        ::KillTimer(nullptr, id);
        ::EndMenu();
    });
    Click(2, IDC_MENU_BUTTON);
    ::KillTimer(nullptr, timer);
    PumpPending();
    const std::vector<std::pair<UINT, std::wstring>> expected = {
        {ID_MENU_SERIAL_SETTINGS, L"串口设置"},
        {ID_MENU_SYSTEM, L"系统"},
        {0, L""},
        {ID_MENU_ABOUT, L"关于"}};
    EXPECT_EQ(items, expected);
    EXPECT_EQ(window_->CurrentPage(), PAGE_CLIPBOARD);

    ::SendMessageW(Main(), WM_COMMAND, ID_MENU_SERIAL_SETTINGS, 0);
    EXPECT_EQ(window_->CurrentPage(), PAGE_SERIAL_SETTINGS);
    ::SendMessageW(Main(), WM_COMMAND, ID_MENU_SYSTEM, 0);
    EXPECT_EQ(window_->CurrentPage(), PAGE_SYSTEM);
    EXPECT_EQ(WindowText(Main()), L"zovrel - 系统");
    ::SendMessageW(Main(), WM_COMMAND, ID_MENU_ABOUT, 0);
    EXPECT_EQ(aboutShown_, 1);
}

TEST_F(MainWindowCommandsTest, ClearLogAndClearHistory) {
    for (const bool log : {true, false}) {
        ASSERT_TRUE(WriteUartDebugLog(log));
        window_->ShowOnPage(PAGE_CLIPBOARD);
        ::SetWindowTextW(LogPane(), L"old\r\nlines");
        Click(4, IDC_CLEAR_LOG);
        EXPECT_EQ(WindowText(LogPane()), log ? L"日志已清空" : L"");
    }

    CZovrelClipboardWatcher watcher(history_.get());
    window_->SetClipboardWatcher(&watcher);
    ASSERT_TRUE(WriteEntryToClipboard(test::TextEntry(L"仍在剪贴板上"), nullptr));
    boxAnswer_ = IDNO;
    Click(9, IDC_CLEAR_HISTORY);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, L"确定清空全部剪贴板历史？");
    EXPECT_EQ(boxes_[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(history_->GetEntryCount(), 3);
    EXPECT_EQ(RowCount(), 3);

    boxAnswer_ = IDYES;
    Click(9, IDC_CLEAR_HISTORY);
    EXPECT_EQ(history_->GetEntryCount(), 0);
    EXPECT_EQ(RowCount(), 0);
    // What is still on the clipboard counts as the program's own, so it does not come back.
    ClipboardEntry onClipboard;
    ASSERT_TRUE(ReadClipboardEntry(nullptr, onClipboard));
    EXPECT_EQ(watcher.Capture().OwnWriteFingerprint(), ComputeFingerprint(onClipboard));

    Click(9, IDC_CLEAR_HISTORY);  // empty: no question
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

    // Rows without an entry change nothing.
    for (UINT message :
         {WM_HISTORY_DELETE, WM_HISTORY_ACTIVATE, WM_HISTORY_OPEN_FOLDER, WM_HISTORY_SEND}) {
        EXPECT_EQ(Row(message, 3), 0);
        EXPECT_EQ(Row(message, -1), 0);
    }
    EXPECT_EQ(history_->GetEntryCount(), 3);
    EXPECT_EQ(Status(), L"");

    // "打开目录": the files entry's folder; anything else reports the failure.
    Row(WM_HISTORY_OPEN_FOLDER, 2);
    EXPECT_EQ(Status(), L"无法打开文件所在目录");
    Row(WM_HISTORY_OPEN_FOLDER, 0);
    EXPECT_EQ(Status(), L"");
    ASSERT_EQ(openedFolders_.size(), 1u);
    EXPECT_EQ(openedFolders_[0], filesFolder_);

    // "发送" without an open port.
    Row(WM_HISTORY_SEND, 2);
    EXPECT_EQ(Status(), L"串口未连接");

    // "删除" on the image: its content is marked, so the clipboard cannot bring it back.
    SendMessageW(Control(6), LB_SETCURSEL, 0, 0);
    Row(WM_HISTORY_DELETE, 1);
    EXPECT_EQ(history_->GetEntryCount(), 2);
    EXPECT_EQ(RowCount(), 2);
    EXPECT_EQ(history_->GetEntryAt(1)->id, text.id);
    EXPECT_EQ(watcher.Capture().OwnWriteFingerprint(), ComputeFingerprint(image));
    EXPECT_EQ(Status(), L"");

    // A double click puts the entry on the clipboard and moves it to the top, adding nothing.
    Row(WM_HISTORY_ACTIVATE, 1);
    EXPECT_EQ(history_->GetEntryCount(), 2);
    EXPECT_EQ(history_->GetEntryAt(0)->id, text.id);
    EXPECT_EQ(history_->GetEntryAt(1)->id, files.id);
    ClipboardEntry onClipboard;
    ASSERT_TRUE(ReadClipboardEntry(nullptr, onClipboard));
    EXPECT_EQ(onClipboard.text, text.text);
    EXPECT_EQ(watcher.Capture().OwnWriteFingerprint(), ComputeFingerprint(onClipboard));
    EXPECT_EQ(Status(), L"");
    window_->SetClipboardWatcher(nullptr);
}

TEST_F(MainWindowCommandsTest, ProgressAndResultTexts) {
    window_->ShowOnPage(PAGE_CLIPBOARD);
    struct Step {
        UINT message;
        int wParam;
        const wchar_t* text;  // null: no payload
        std::wstring transfer;
        std::wstring status;
    };
    const Step steps[] = {
        {WM_SEND_PROGRESS, 42, L"", L"42%", L""},
        {WM_SEND_PROGRESS, -1, L"", L"42%", L""},  // nothing to show: unchanged
        {WM_SEND_PROGRESS, -1, L"正在取消…", L"正在取消…", L""},
        {WM_SEND_PROGRESS, 100, nullptr, L"100%", L""},
        {WM_SEND_RESULT, 0, L"传输超时", L"100%", L"传输超时"},
        {WM_SEND_RESULT, 0, nullptr, L"100%", L"传输超时"},
        {WM_SEND_RESULT, 1, nullptr, L"100%", L""},
    };
    for (const Step& s : steps) {
        auto* payload = s.text != nullptr ? new std::wstring(s.text) : nullptr;
        ::SendMessageW(Main(), s.message, static_cast<WPARAM>(static_cast<INT_PTR>(s.wParam)),
                       reinterpret_cast<LPARAM>(payload));
        EXPECT_EQ(TransferText(), s.transfer) << s.wParam;
        EXPECT_EQ(Status(), s.status) << s.wParam;
        // No send runs: no progress bar and no cancel.
        EXPECT_FALSE(::IsWindowVisible(Control(16)));
        EXPECT_FALSE(Enabled(17));
    }
}

TEST_F(MainWindowCommandsTest, SendRunsOnItsOwnThreadAndCanBeCancelled) {
    ports_ = {{L"COM5", L"COM5"}};
    ASSERT_TRUE(WriteUartComPort(L"COM5"));
    auto link = MakeLink(L"COM5");
    window_->SetSerialLink(link.get());
    ASSERT_TRUE(link->Open(L"COM5"));
    TransferProtocol& engine = GetTransferProtocol();
    engine.Attach(window_.get(), link.get());
    window_->ShowOnPage(PAGE_CLIPBOARD);
    ASSERT_FALSE(Enabled(17));

    Row(WM_HISTORY_SEND, 2);
    EXPECT_EQ(Status(), L"");
    // The device never answers: the send waits, its progress shows and "放弃" is enabled.
    ASSERT_TRUE(PumpMessages(5000, [&] { return Enabled(17); }));
    EXPECT_TRUE(engine.IsSending());
    EXPECT_TRUE(::IsWindowVisible(Control(16)));
    EXPECT_FALSE(TransferText().empty());
    ASSERT_TRUE(port_->WaitForWritten(1, std::chrono::milliseconds(5000)));

    // One send at a time.
    Row(WM_HISTORY_SEND, 0);
    EXPECT_EQ(Status(), L"另一个剪贴板传输正在进行中");

    // A switch to another page hides the progress bar even now.
    window_->SwitchPage(PAGE_SYSTEM);
    EXPECT_FALSE(::IsWindowVisible(Control(16)));
    window_->SwitchPage(PAGE_CLIPBOARD);

    Click(17, IDC_CANCEL_SEND);
    EXPECT_EQ(TransferText(), L"正在取消…");
    EXPECT_FALSE(Enabled(17));
    ASSERT_TRUE(PumpMessages(10000, [&] { return Status() == L"已取消发送"; })) << "status";
    EXPECT_FALSE(engine.IsSending());
    EXPECT_FALSE(Enabled(17));
    EXPECT_FALSE(::IsWindowVisible(Control(16)));

    // "放弃" with nothing running does nothing.
    Click(17, IDC_CANCEL_SEND);
    EXPECT_NE(TransferText(), L"正在取消…");

    engine.Detach();
    link->Close();
    window_->SetSerialLink(nullptr);
}

TEST_F(MainWindowCommandsTest, LogPaneTrimsAtALineAndFollowsTheEnd) {
    ASSERT_TRUE(WriteUartDebugLog(true));
    window_->ShowOnPage(PAGE_CLIPBOARD);
    HWND pane = LogPane();
    // 5130 lines of 40 characters (with the line break): 205198 characters, short enough that
    // none wraps.
    std::wstring text;
    for (int i = 0; i < 5130; ++i) {
        wchar_t line[48];
        swprintf(line, 48, L"L%06d %ls", i, std::wstring(30, L'x').c_str());
        if (i > 0) {
            text += L"\r\n";
        }
        text += line;
    }
    ASSERT_EQ(text.size(), 205198u);
    ::SetWindowTextW(pane, text.c_str());
    ::SendMessageW(pane, WM_VSCROLL, SB_BOTTOM, 0);
    window_->AppendLogLine(L"tail line");

    const std::wstring kept = WindowText(pane);
    EXPECT_GE(kept.size(), 163840u);
    EXPECT_LE(kept.size(), 163840u + 40u + 11u);
    // It starts at the beginning of a line and ends with the new one.
    ASSERT_GE(kept.size(), 8u);
    EXPECT_EQ(kept[0], L'L');
    EXPECT_EQ(kept[7], L' ');
    EXPECT_EQ(kept.substr(kept.size() - 11), L"\r\ntail line");

    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_ALL;
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
        const LRESULT line = ::SendMessageW(pane, EM_GETFIRSTVISIBLELINE, 0, 0);
        wchar_t buffer[64] = {};
        *reinterpret_cast<WORD*>(buffer) = 63;
        const LRESULT copied =
            ::SendMessageW(pane, EM_GETLINE, line, reinterpret_cast<LPARAM>(buffer));
        return std::wstring(buffer, static_cast<size_t>(copied));
    };
    const std::wstring reading = firstVisibleLine();
    ASSERT_EQ(reading.substr(0, 8), L"L003000 ");
    window_->AppendLogLine(L"one more");
    EXPECT_LT(WindowText(pane).size(), 170000u);
    EXPECT_EQ(firstVisibleLine(), reading);

    // The log switched off: nothing reaches the pane.
    ASSERT_TRUE(WriteUartDebugLog(false));
    window_->AppendLogLine(L"hidden");
    EXPECT_EQ(WindowText(pane).find(L"hidden"), std::wstring::npos);
}

TEST_F(MainWindowCommandsTest, SplitterDragsMoveTheSplitOnlyWithTheLog) {
    ASSERT_TRUE(WriteUartDebugLog(true));
    window_->ShowOnPage(PAGE_CLIPBOARD);
    const int split = window_->SplitPosition();
    window_->OnSplitterDragStart();
    window_->OnSplitterDrag(1, -Px(50));
    EXPECT_EQ(window_->SplitPosition(), split - Px(50));
    RECT list{};
    ::GetWindowRect(Control(6), &list);
    EXPECT_EQ(list.bottom - list.top, split - Px(50));
    window_->OnSplitterDrag(2, Px(30));  // another direction: ignored
    window_->OnSplitterDrag(1, 0);
    EXPECT_EQ(window_->SplitPosition(), split - Px(50));
    window_->OnSplitterDrag(1, -100000);  // clamped
    EXPECT_EQ(window_->SplitPosition(), Px(60));
    window_->OnSplitterDragEnd();
    EXPECT_FALSE(window_->Preview().IsShown());

    ASSERT_TRUE(WriteUartDebugLog(false));
    window_->SwitchPage(PAGE_CLIPBOARD);
    window_->OnSplitterDrag(1, Px(40));
    EXPECT_EQ(window_->SplitPosition(), Px(60));
    EXPECT_FALSE(::IsWindowVisible(Control(25)));
}

}  // namespace
}  // namespace zovrel::ui
