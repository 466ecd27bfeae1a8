// Dialog units, the coordinates the window layout is written in, converted to
// pixels with the metrics of the font the window uses, the way Windows maps a
// dialog template (MapDialogRect).
#pragma once

#include <QFont>
#include <QRect>

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
