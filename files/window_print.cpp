#include "window_print.h"

#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace velmora {

PrintSize fitToPage(long long imageWidth, long long imageHeight, long long pageWidth,
                    long long pageHeight) {
    if (imageWidth <= 0 || imageHeight <= 0 || pageWidth <= 0 || pageHeight <= 0) return {};
    PrintSize size;
    size.width = imageWidth * pageHeight / imageHeight;
    if (size.width < pageWidth) {
        size.height = pageHeight;
    } else {
        size.width = pageWidth;
        size.height = imageHeight * pageWidth / imageWidth;
    }
    return size;
}

const char* printStampPrefix(std::uint8_t language) {
    // The German interface stamps its prints with the English prefix.
    static const char* const kPrefixes[3] = {
        "Datum a \xc4\x8d"
        "as tisku:  ",
        "Date and Time of printing:  ", "Date and Time of printing:  "};
    return language <= 2 ? kPrefixes[language] : nullptr;
}

QString longTimeFormat(const QLocale& locale) {
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\'')) quoted = !quoted;
        if (quoted || c != QLatin1Char('t')) out += c;
    }
    // The blank that stood before or after the zone goes with it.
    return out.simplified();
}

PrintOutcome printPicture(const QImage& picture, QPrinter& printer) {
    if (picture.isNull()) return {false, "Nothing to print"};
    QPainter painter;
    if (!painter.begin(&printer)) {
        return {false, "The print job could not be started on \"" +
                           printer.printerName().toStdString() + "\""};
    }
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const PrintSize size =
        fitToPage(picture.width(), picture.height(), page.width(), page.height());
    painter.drawImage(QRect(0, 0, static_cast<int>(size.width), static_cast<int>(size.height)),
                      picture);
    if (!painter.end()) return {false, "The print job failed"};
    return {true, {}};
}

PrintOutcome printOnDefaultPrinter(const QImage& picture) {
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) return {false, "There is no default printer"};
    QPrinter printer(info, QPrinter::HighResolution);
    return printPicture(picture, printer);
}

} // namespace velmora
