#include "ui/contrast_rules.h"

namespace zovrel::ui {

using namespace history_list;

RowPalette RowPaletteFor(std::optional<uint32_t> kind, bool selected, bool odd,
                         const SystemColours* highContrast) {
    if (highContrast == nullptr) {
        const RowColours colours = RowColoursFor(kind, selected, odd);
        return {colours.background, colours.accent,   NUMBER_COLOUR,       DETAIL_COLOUR,
                TEXT_COLOUR,        BUTTON_COLOUR,    BUTTON_HOVER_COLOUR, TEXT_COLOUR,
                TEXT_COLOUR,        SEPARATOR_COLOUR, FOCUS_COLOUR};
    }
    const SystemColours& s = *highContrast;
    // Every text on a row is drawn in the text colour of the row's background pair.
    const Colour background = selected ? s.highlight : s.window;
    const Colour text = selected ? s.highlightText : s.windowText;
    return {background,      text, text, text, text, s.buttonFace, s.highlight, s.buttonText,
            s.highlightText, text, text};
}

PreviewPalette PreviewPaletteFor(const SystemColours* highContrast) {
    if (highContrast == nullptr) {
        return {MakeColour(255, 255, 255), MakeColour(200, 200, 200), MakeColour(32, 32, 32),
                MakeColour(110, 110, 110)};
    }
    return {highContrast->window, highContrast->windowText, highContrast->windowText,
            highContrast->windowText};
}

}  // namespace zovrel::ui
