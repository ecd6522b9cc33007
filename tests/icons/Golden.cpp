#include "Golden.h"

#include <QDir>
#include <QString>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

void ExpectGolden(const QImage& rendered, const std::string& sName) {
    SCOPED_TRACE(sName);
    const QString sData = ORVANTO_TEST_DATA;
    const QString sGolden = QString("%1/%2.png").arg(sData, QString::fromStdString(sName));
    if (std::getenv("ORVANTO_UPDATE_GOLDENS") != nullptr) {
        QDir().mkpath(sData);
        ASSERT_TRUE(rendered.save(sGolden, "PNG"));
    }
    const QImage image = rendered.convertToFormat(QImage::Format_ARGB32);
    const QImage golden = QImage(sGolden).convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(golden.isNull()) << sGolden.toStdString();
    ASSERT_EQ(golden.size(), image.size());
    QImage diff(image.size(), QImage::Format_ARGB32);
    diff.fill(Qt::white);
    int iBeyond = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb a = image.pixel(x, y), b = golden.pixel(x, y);
            const int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                    std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
            if (d > 3) {
                ++iBeyond;
                diff.setPixel(x, y, qRgb(255, 0, 0));
            }
        }
    const int iAllowed = image.width() * image.height() / 200;
    EXPECT_LE(iBeyond, iAllowed);
    if (iBeyond > iAllowed) {
        const QString sDiff = QDir::current().filePath(QString("%1-diff.png").arg(QString::fromStdString(sName)));
        diff.save(sDiff, "PNG");
        ADD_FAILURE() << "differences marked in " << sDiff.toStdString();
    }
}
