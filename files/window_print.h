// Printing of the window picture: one page on the default printer, the picture fitted to
// the printable page with its proportions kept, drawn at the top-left corner.
#pragma once

#include <cstdint>
#include <string>

class QImage;
class QLocale;
class QPrinter;
class QString;

namespace velmora {

struct PrintSize {
    long long width = 0;
    long long height = 0;
};

// The printed size of an image on a page, in integer arithmetic: full page height when the
// picture is narrower than the page's proportions, full page width otherwise.
PrintSize fitToPage(long long imageWidth, long long imageHeight, long long pageWidth,
                    long long pageHeight);

// The stamp prefix of a language ("Datum a čas tisku:  " ...); nullptr outside 0..2.
const char* printStampPrefix(std::uint8_t language);

// The locale's long time format (hours, minutes, seconds) without the time-zone name that Qt
// adds to it.
QString longTimeFormat(const QLocale& locale);

struct PrintOutcome {
    bool ok = false;
    std::string error; // the toolkit's text when the job could not be printed
};

// Prints `picture` as one page on `printer`.
PrintOutcome printPicture(const QImage& picture, QPrinter& printer);

// Prints on the system's default printer; fails with a message when there is none.
PrintOutcome printOnDefaultPrinter(const QImage& picture);

} // namespace velmora
