#include "gui/window/mainlayout.h"

#include <QColor>
#include <QPainter>
#include <QPen>

#include <algorithm>

namespace {

QRect Place(int x, int y, int width, int height) {
    return QRect(x, y, std::max(width, 0), std::max(height, 0));
}

// A line from (x1, y1) to (x2, y2) without its end point; only horizontal and vertical
// lines are drawn here.
void LineTo(QPainter& painter, int x1, int y1, int x2, int y2) {
    if (x1 == x2 && y1 == y2)
        return;
    if (y1 == y2)
        x2 += x2 > x1 ? -1 : 1;
    else
        y2 += y2 > y1 ? -1 : 1;
    painter.drawLine(x1, y1, x2, y2);
}

} // namespace

CMainLayout ComputeMainLayout(int nWidth, int nReportArea) {
    const int a = nReportArea;
    const int d = (a - 16) / 3;
    CMainLayout layout;
    layout.rcFileList = Place(8, 9, 130, 2 * d - 8);
    layout.rcDirList = Place(8, 2 * d + 8, 130, d - 29);
    layout.rcDriveBox = Place(8, a - 32, 130, 100);
    layout.rcReport = Place(150, 11, nWidth - 162, a - 21);
    return layout;
}

void DrawSunkenFrame(QPainter& painter, int left, int top, int right, int bottom, const QPen& pen1,
                     const QPen& pen2, int nRings) {
    for (int i = 0; i < nRings; ++i) {
        painter.setPen(pen1);
        LineTo(painter, left, bottom, left, top);
        LineTo(painter, left, top, right + 1, top);
        ++top;
        painter.setPen(pen2);
        LineTo(painter, right, top, right, bottom);
        LineTo(painter, right, bottom, left, bottom);
        --right;
        ++left;
        --bottom;
    }
}

void PaintMainClientArea(QPainter& painter, int nWidth, int nReportArea) {
    painter.fillRect(0, 0, nWidth, nReportArea, QColor(192, 192, 192));
    const QPen dark(QColor(128, 128, 128), 1);
    const QPen light(QColor(255, 255, 255), 1);
    painter.setRenderHint(QPainter::Antialiasing, false);
    DrawSunkenFrame(painter, 0, 0, nWidth - 2, nReportArea - 1, dark, light, 2);
    DrawSunkenFrame(painter, 147, 8, nWidth - 10, nReportArea - 9, dark, light, 2);
}
