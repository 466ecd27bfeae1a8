// The dialogs' texts come from the catalog at run time (the templates hold
// only their layout), so that one language choice, PONTARO_LANG's or the
// user's UI language, decides every text of the program; a control whose
// text outgrows its template's width is widened along its row.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <utility>

#include "app/texts/Catalog.h"

namespace win32ui {

// Each (id, text) of `dialog`; id 0 is the dialog's own caption.
void SetCatalogTexts(HWND dialog, std::initializer_list<std::pair<int, texts::Msg>> texts);

// The controls `ids`, one row left to right, widened to their texts and
// pushed right (row_fit::Fit, gaps of 4 dialog units), the row ending at
// the left edge of control `limitId` less a gap. `extra` pixels are added
// to each text's width: a check box's box and its spacing.
void FitRowToTexts(HWND dialog, std::initializer_list<int> ids, int limitId, int extra);

// What a check box needs beside its text.
int CheckBoxExtra();

}  // namespace win32ui
