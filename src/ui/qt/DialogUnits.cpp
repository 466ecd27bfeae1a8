#include "ui/qt/DialogUnits.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QWidget>

#include <vector>

#include "app/RowFit.h"

namespace {

int MulDiv(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

}  // namespace

DialogMetrics MetricsOf(const QFont& font) {
    const QFontMetrics fm(font);
    const int alphabetWidth = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    DialogMetrics m;
    m.baseX = (alphabetWidth / 26 + 1) / 2;
    m.baseY = fm.height();
    return m;
}

QRect DialogRect(const DialogMetrics& m, int x, int y, int width, int height) {
    const int left = MulDiv(x, m.baseX, 4);
    const int top = MulDiv(y, m.baseY, 8);
    const int right = MulDiv(x + width, m.baseX, 4);
    const int bottom = MulDiv(y + height, m.baseY, 8);
    return QRect(left, top, right - left, bottom - top);
}

QSize DialogSize(const DialogMetrics& m, int width, int height) {
    return QSize(MulDiv(width, m.baseX, 4), MulDiv(height, m.baseY, 8));
}

QFont DialogFont(const QString& family, int points) {
    if (QFontDatabase::hasFamily(family)) {
        QFont font(family);
        font.setPointSize(points);
        return font;
    }
    return QApplication::font();
}

void FitRow(const DialogMetrics& m, std::initializer_list<QWidget*> widgets,
            std::initializer_list<QRect> laidOut, int limit) {
    std::vector<row_fit::Span> spans;
    std::vector<int> needed;
    for (const QRect& r : laidOut)
        spans.push_back({r.x(), r.width()});
    for (const QWidget* w : widgets)
        needed.push_back(w->sizeHint().width());
    const std::vector<row_fit::Span> fitted =
        row_fit::Fit(spans, needed, DialogSize(m, 4, 0).width(), limit);
    auto rect = laidOut.begin();
    auto span = fitted.begin();
    for (QWidget* w : widgets) {
        if (rect == laidOut.end())
            break;
        w->setGeometry(span->x, rect->y(), span->width, rect->height());
        ++rect;
        ++span;
    }
}
