#include "ui/main_window_rules.h"

#include <algorithm>

#include "base/text.h"
#include "ui/ui_ids.h"

namespace zovrel::ui {

const wchar_t* PageTitle(int page) {
    switch (page) {
        case PAGE_SERIAL_SETTINGS:
            return main_texts::kTitleSerialSettings;
        case PAGE_SYSTEM:
            return main_texts::kTitleSystem;
        default:
            return main_texts::kTitleClipboard;
    }
}

std::optional<int> LogTrimCut(int length) {
    if (length <= LOG_TRIM_THRESHOLD) {
        return std::nullopt;
    }
    return length - LOG_KEEP_CHARS;
}

int LogTrimEnd(int cut, int lineStart) {
    return lineStart < 0 ? cut : lineStart;
}

bool IsScrolledToEnd(bool infoRead, int maximum, int position, int page) {
    if (!infoRead || maximum < 1) {
        return true;
    }
    return position >= maximum - std::max(page, 1) + 1;
}

namespace {

int FindPort(const std::vector<std::wstring>& names, const std::wstring& port) {
    for (size_t i = 0; i < names.size(); ++i) {
        if (EqualsIgnoreCase(names[i], port)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace

ClipboardPortChoice ChooseClipboardPort(const std::vector<std::wstring>& names,
                                        const std::wstring& savedPort) {
    const std::wstring saved = TrimText(savedPort);
    ClipboardPortChoice choice;
    choice.selected = FindPort(names, saved);
    if (choice.selected >= 0) {
        return choice;
    }
    if (saved.empty()) {
        choice.selected = names.empty() ? -1 : 0;
        return choice;
    }
    // A saved port that is not plugged in still shows, so the user sees what is configured.
    choice.appendSavedPort = true;
    choice.selected = static_cast<int>(names.size());
    return choice;
}

std::wstring ClipboardPortText(const PortInfo& port) {
    std::wstring description = TrimText(port.description);
    const std::wstring repeated = L"(" + ToLowerAscii(port.portName) + L")";
    const std::wstring upper = ToLowerAscii(description);
    if (upper.size() >= repeated.size() &&
        upper.compare(upper.size() - repeated.size(), repeated.size(), repeated) == 0) {
        description = TrimText(description.substr(0, description.size() - repeated.size()));
    }
    if (description.empty() || EqualsIgnoreCase(description, port.portName)) {
        return port.portName;
    }
    return port.portName + L" - " + description;
}

std::wstring MissingPortText(const std::wstring& name) {
    return FormatText(main_texts::kPortMissing, name.c_str());
}

PortComboAction PortComboActionFor(PortComboEvent event, bool listDropped) {
    switch (event) {
        case PortComboEvent::SELECTION_MOVED:
            return listDropped ? PortComboAction::NONE : PortComboAction::START_DELAY;
        case PortComboEvent::LIST_CLOSED:
        case PortComboEvent::DELAY_ENDED:
            return PortComboAction::CHOOSE;
    }
    return PortComboAction::NONE;
}

bool PortChoiceOpens(const std::wstring& selected, const std::wstring& current,
                     bool openOrOpening) {
    const std::wstring name = TrimText(selected);
    return !name.empty() && !(openOrOpening && EqualsIgnoreCase(name, TrimText(current)));
}

int ChooseSettingsPort(const std::vector<std::wstring>& names, const std::wstring& savedPort) {
    if (names.empty()) {
        return -1;
    }
    const int found = FindPort(names, savedPort);
    return found >= 0 ? found : 0;
}

std::wstring PortNameAt(const std::vector<std::wstring>& names, int index) {
    if (index < 0 || static_cast<size_t>(index) >= names.size()) {
        return {};
    }
    return TrimText(names[static_cast<size_t>(index)]);
}

std::wstring ChooseConnectPort(const std::wstring& savedPort, const std::wstring& selectedName) {
    const std::wstring selected = TrimText(selectedName);
    return selected.empty() ? TrimText(savedPort) : selected;
}

std::optional<std::wstring> TransferTextFor(int percent, const std::wstring& text) {
    if (!text.empty()) {
        return text;
    }
    if (percent >= 0 && percent <= 100) {
        return std::to_wstring(percent) + L"%";
    }
    return std::nullopt;
}

ProgressBarState ProgressBarFor(int percent, bool sending) {
    if (percent < 0 || percent > 100 || !sending) {
        return {};
    }
    return {true, percent};
}

std::wstring SendFailureText(const std::wstring& error) {
    return error.empty() ? std::wstring(main_texts::kSendFailed) : error;
}

std::wstring EntryFolderPath(const ClipboardEntry& entry) {
    if (entry.kind != ENTRY_KIND_FILES) {
        return {};
    }
    std::wstring path;
    for (const auto& file : entry.files) {
        if (!file.empty()) {
            path = file;
            break;
        }
    }
    if (path.empty()) {
        path = entry.text;
    }
    size_t cut = path.rfind(L'\\');
    if (cut == std::wstring::npos) {
        cut = path.rfind(L'/');
    }
    if (cut == std::wstring::npos) {
        return path;
    }
    // "C:" alone names the drive's current folder, not its root: a file in a root opens the
    // root itself.
    const bool driveRoot = cut == 2 && path[1] == L':';
    return path.substr(0, cut == 0 || driveRoot ? cut + 1 : cut);
}

HistoryListPlace PlaceHistoryList(int rowCount, int topIndex, int selection, int count) {
    HistoryListPlace place;
    // The history grew: the newest entry is at the top, so the list shows the top.
    const bool jumped = rowCount >= 0 && count > rowCount;
    if (count <= 0) {
        return place;
    }
    if (jumped) {
        place.selection = 0;
        place.topIndex = 0;
        return place;
    }
    place.selection = (selection < 0 || selection >= count) ? 0 : selection;
    place.topIndex = (topIndex >= 0 && topIndex < count) ? topIndex : std::max(count - 1, 0);
    return place;
}

std::wstring HistoryRowText(int index) {
    return std::to_wstring(static_cast<unsigned>(index) + 1u);
}

}  // namespace zovrel::ui
