// Figure export: the figure of the layout saved to a file (an enhanced
// metafile, or SVG, PDF or PNG), copied to the clipboard, and the pop-up
// copies of one chart.
#include "FormMain.h"

#include "export/Composite.h"
#include "export/Figure.h"
#include "export/PrintSize.h"

#include <QAction>
#include <QFileInfo>

namespace kavum::app {
namespace {

// The save dialog's entries after the ones the window is made with.
const QString FigureFilterEntries = QStringLiteral("SVGファイル|*.svg|PDFファイル|*.pdf|PNGファイル|*.png");
constexpr int EmfFilterIndex = 4;
constexpr int SvgFilterIndex = 7;
constexpr int PdfFilterIndex = 8;
constexpr int PngFilterIndex = 9;

// The format of a chosen file: its extension when that names one, else the
// dialog entry it was chosen under, else an enhanced metafile.
exporting::FigureFormat ChosenFormat(const QString& path, int filterIndex) {
    if (const auto byName = exporting::FigureFormatOfPath(path)) return *byName;
    switch (filterIndex) {
        case SvgFilterIndex: return exporting::FigureFormat::Svg;
        case PdfFilterIndex: return exporting::FigureFormat::Pdf;
        case PngFilterIndex: return exporting::FigureFormat::Png;
        default: return exporting::FigureFormat::Emf;
    }
}

}  // namespace

void TFormMain::SaveToEMFItemClick() {
    if (!SaveDialog1.Filter.endsWith(FigureFilterEntries)) SaveDialog1.Filter += QLatin1Char('|') + FigureFilterEntries;
    SaveDialog1.FilterIndex = EmfFilterIndex;
    SaveDialog1.DefaultExt = QStringLiteral("emf");
    SaveDialog1.FileName = exporting::ProposedFigureName(State.GrdFileName, State.ShowMode);
    if (!Dialogs().ExecuteSave(this, SaveDialog1)) return;
    const QString fileName = SaveDialog1.FileName;
    const exporting::FigureFormat format = ChosenFormat(fileName, SaveDialog1.FilterIndex);
    if (State.ShowMode < 1 || State.ShowMode > 3) return;  // no map yet: nothing to save
    // One question before a file is replaced; a stronger one when it is
    // not a figure of the format (a data file chosen by mistake).
    const exporting::ExistingFile existing = exporting::ExistingFigureFile(fileName, format);
    if (existing.exists &&
        !Dialogs().Confirm(this, QStringLiteral("Kavum for Windows"), exporting::ReplaceFigureQuestion(fileName, existing))) {
        return;
    }
    if (format != exporting::FigureFormat::Emf) {
        // The bitmap and the vector documents at a scale of the user's
        // choice; the metafile stays at the screen's size.
        const std::optional<exporting::Figure> figure = Doc.SavedFigure();
        if (!figure) return;  // no map yet: nothing to save
        FigureScaleDialog1.MinScale = exporting::MinFigureScale;
        FigureScaleDialog1.MaxScale = exporting::MaxFigureScale;
        FigureScaleDialog1.Bitmap = format == exporting::FigureFormat::Png;
        FigureScaleDialog1.Size = FigureScaleDialog1.Bitmap ? figure->bitmapSize : figure->size;
        if (!Dialogs().ExecuteFigureScale(this, FigureScaleDialog1)) return;
        exporting::PrintOptions print = doc::ScaleOnly(FigureScaleDialog1.Scale);
        if (FigureScaleDialog1.WidthMm) {
            // A width for print: the text and lines follow from it.
            print = exporting::PrintOptions{};
            print.widthMm = FigureScaleDialog1.WidthMm;
            if (FigureScaleDialog1.Bitmap) print.dpi = FigureScaleDialog1.Dpi;
        }
        Doc.SaveFigureAs(fileName, format, print);
        return;
    }
    switch (State.ShowMode) {
        case 1: Chart1->SaveAsMetafile(fileName); break;
        case 2: Save2VChart(fileName); break;
        case 3: Save3DChart(fileName); break;
        default: break;  // no map yet: nothing to save
    }
}

void TFormMain::Save2VChart(const QString& fileName) { Doc.Save2VChart(fileName); }

void TFormMain::Save3DChart(const QString& fileName) { Doc.Save3DChart(fileName); }

void TFormMain::SaveFigure(const QString& fileName, double scale) { Doc.SaveFigure(fileName, doc::ScaleOnly(scale)); }

void TFormMain::SaveFigure(const QString& fileName, const exporting::PrintOptions& print) {
    Doc.SaveFigure(fileName, print);
}

std::optional<QByteArray> TFormMain::FigureFileBytes(const QString& fileName, double scale) {
    return Doc.FigureFileBytes(fileName, doc::ScaleOnly(scale));
}

std::optional<QByteArray> TFormMain::FigureFileBytes(const QString& fileName, const exporting::PrintOptions& print) {
    return Doc.FigureFileBytes(fileName, print);
}

void TFormMain::CopyEMFItemClick() { Doc.CopyFigure(); }

void TFormMain::BMPCopyTo_C1Click() { Chart1->CopyAsBitmap(); }
void TFormMain::BMPCopyTo_C2Click() { Chart2->CopyAsBitmap(); }
void TFormMain::BMPCopyTo_C3Click() { Chart3->CopyAsBitmap(); }

// The chart's own metafile, with its bitmap beside it.
void TFormMain::EMFCopyTo_C1Click() { exporting::CopyFigureToClipboard(exporting::SingleChartFigure(*Chart1)); }
void TFormMain::EMFCopyTo_C2Click() { exporting::CopyFigureToClipboard(exporting::SingleChartFigure(*Chart2)); }
void TFormMain::EMFCopyTo_C3Click() { exporting::CopyFigureToClipboard(exporting::SingleChartFigure(*Chart3)); }

void TFormMain::ConnectExportCommands() {
    ConnectCommand(SaveToEMFItem, &QAction::triggered, &TFormMain::SaveToEMFItemClick);
    ConnectCommand(CopyEMFItem, &QAction::triggered, &TFormMain::CopyEMFItemClick);
    ConnectCommand(BMPCopyTo_C1, &QAction::triggered, &TFormMain::BMPCopyTo_C1Click);
    ConnectCommand(BMPCopyTo_C2, &QAction::triggered, &TFormMain::BMPCopyTo_C2Click);
    ConnectCommand(BMPCopyTo_C3, &QAction::triggered, &TFormMain::BMPCopyTo_C3Click);
    ConnectCommand(EMFCopyTo_C1, &QAction::triggered, &TFormMain::EMFCopyTo_C1Click);
    ConnectCommand(EMFCopyTo_C2, &QAction::triggered, &TFormMain::EMFCopyTo_C2Click);
    ConnectCommand(EMFCopyTo_C3, &QAction::triggered, &TFormMain::EMFCopyTo_C3Click);
}

}  // namespace kavum::app
