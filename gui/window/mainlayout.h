#pragma once
// The main window's fixed geometry: where its four controls go and the bevels it paints.

#include <QRect>

class QPainter;
class QPen;

struct CMainLayout {
    QRect rcFileList;
    QRect rcDirList;
    QRect rcDriveBox; // its height includes the dropped-down list
    QRect rcReport;
};

// The places of the controls for a client area nWidth wide whose part above the status bar
// is nReportArea high. Widths and heights that come out below zero are zero.
CMainLayout ComputeMainLayout(int nWidth, int nReportArea);

// Draws nRings rings of a bevel: pen1 on top and left, pen2 on right and bottom, each ring
// one pixel inside the last. Lines leave out their end points.
void DrawSunkenFrame(QPainter& painter, int left, int top, int right, int bottom, const QPen& pen1,
                     const QPen& pen2, int nRings);

// Fills the client area (nWidth by nReportArea, above the status bar) grey and draws the
// bevels around it and around the report view.
void PaintMainClientArea(QPainter& painter, int nWidth, int nReportArea);
