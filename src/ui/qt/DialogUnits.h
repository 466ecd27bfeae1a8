// Dialog units, the coordinates the window layout is written in, converted to
// pixels with the metrics of the font the window uses, the way Windows maps a
// dialog template (MapDialogRect).
#pragma once

#include <QFont>
#include <QRect>

#include <initializer_list>

class QWidget;

struct DialogMetrics {
    int baseX = 0;  // average character width: the rounded mean of "A..Za..z"
    int baseY = 0;  // character height
};

DialogMetrics MetricsOf(const QFont& font);

// x * baseX / 4 and y * baseY / 8, rounded like MulDiv.
QRect DialogRect(const DialogMetrics& m, int x, int y, int width, int height);
QSize DialogSize(const DialogMetrics& m, int width, int height);

// `family` at `points` where that family is installed, otherwise the
// application's default font.
QFont DialogFont(const QString& family, int points);

// Places `widgets`, one row left to right, at `laidOut`, each widened where
// its text needs more (its size hint), pushing the next ones right, the row
// ending at `limit` pixels (row_fit::Fit, gaps of 4 dialog units).
void FitRow(const DialogMetrics& m, std::initializer_list<QWidget*> widgets,
            std::initializer_list<QRect> laidOut, int limit);
