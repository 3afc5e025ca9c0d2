#include "files/window_print.h"

#include <QGuiApplication>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

using namespace velmora;

TEST(PrintFit, KeepsProportionsWithIntegerArithmetic) {
    // Taller than the page's proportions: full height.
    PrintSize s = fitToPage(659, 498, 4000, 6000);
    EXPECT_EQ(s.width, 4000);
    EXPECT_EQ(s.height, 3022); // 498 * 4000 / 659 = 3022.76
    // Narrow picture: full page height, width scaled and truncated.
    s = fitToPage(300, 900, 4000, 6000);
    EXPECT_EQ(s.width, 2000);
    EXPECT_EQ(s.height, 6000);
    s = fitToPage(301, 900, 4000, 6000);
    EXPECT_EQ(s.width, 2006); // 301 * 6000 / 900 = 2006.67
    EXPECT_EQ(s.height, 6000);
    // Exactly the page's proportions uses the page width.
    s = fitToPage(2, 3, 4000, 6000);
    EXPECT_EQ(s.width, 4000);
    EXPECT_EQ(s.height, 6000);
    // Degenerate sizes print nothing instead of dividing by zero.
    s = fitToPage(0, 498, 4000, 6000);
    EXPECT_EQ(s.width, 0);
    s = fitToPage(659, 0, 4000, 6000);
    EXPECT_EQ(s.height, 0);
}

TEST(PrintFit, StampPrefixes) {
    EXPECT_STREQ(printStampPrefix(0), "Datum a \xc4\x8d"
                                      "as tisku:  ");
    EXPECT_STREQ(printStampPrefix(1), "Date and Time of printing:  ");
    EXPECT_STREQ(printStampPrefix(2), printStampPrefix(1));
    EXPECT_EQ(printStampPrefix(3), nullptr);
}

TEST(PrintPicture, OnePdfPage) {
    int argc = 1;
    char name[] = "print_test";
    char* argv[] = {name};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    const QString pdf = dir.filePath("out.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    QImage picture(659, 498, QImage::Format_RGB32);
    picture.fill(Qt::red);
    const PrintOutcome out = printPicture(picture, printer);
    ASSERT_TRUE(out.ok) << out.error;
    std::ifstream in(pdf.toStdString(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(bytes.rfind("%PDF", 0), 0u);
    EXPECT_NE(bytes.find("/Count 1"), std::string::npos);

    QPrinter nowhere(QPrinter::HighResolution);
    nowhere.setOutputFormat(QPrinter::PdfFormat);
    nowhere.setOutputFileName(dir.filePath("missing/dir/out.pdf"));
    EXPECT_FALSE(printPicture(picture, nowhere).ok);
    EXPECT_FALSE(printPicture(QImage(), printer).ok);
}

TEST(PrintStamp, LongTimeWithoutZone) {
    // Qt puts the zone ("t") after the seconds; the Windows long time format has none.
    EXPECT_EQ(longTimeFormat(QLocale(QLocale::English, QLocale::UnitedStates)), "h:mm:ss AP");
    EXPECT_EQ(longTimeFormat(QLocale(QLocale::Czech)), "H:mm:ss");
    EXPECT_EQ(longTimeFormat(QLocale(QLocale::German)), "HH:mm:ss");
    // Every locale: the zone's letter is gone, hours, minutes and seconds stay.
    for (const QLocale& l :
         QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyCountry)) {
        const QString f = longTimeFormat(l);
        QString unquoted = f;
        unquoted.remove(QRegularExpression("'[^']*'"));
        EXPECT_FALSE(unquoted.contains(QLatin1Char('t'))) << l.name().toStdString();
        EXPECT_TRUE(unquoted.contains(QLatin1Char('s'))) << l.name().toStdString();
    }
}
