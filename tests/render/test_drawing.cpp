// The helper's drawing, in process: the SVG step, the reply's pixel format and bounds.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include "render/Drawing.h"
#include "render/MetafileRendering.h"

using qfip::exchange::DrawnKind;


TEST(SvgImage, UnreadableDocumentGivesANullImage) {
    EXPECT_TRUE(renderSvg("not svg at all", QSize(4, 4)).isNull());
    const QImage image = renderSvg(
        R"(<svg xmlns="http://www.w3.org/2000/svg" width="4" height="2"><rect x="2" y="0" width="2" height="2" fill="#0000FF"/></svg>)",
        QSize(8, 4));
    ASSERT_EQ(image.size(), QSize(8, 4));
    EXPECT_EQ(image.pixel(1, 1), 0xFFFFFFFFu);
    EXPECT_EQ(image.pixel(6, 2), 0xFF0000FFu);
}

TEST(ReplyImage, PremultipliedARGB32WithinTheKindsBounds) {
    struct Case {
        DrawnKind kind;
        QSize size;
        QImage::Format format;
        bool kept;
    };
    const Case cases[] = {
        {DrawnKind::Icon, QSize(2, 2), QImage::Format_ARGB32_Premultiplied, true},
        {DrawnKind::Icon, QSize(3, 1), QImage::Format_Indexed8, true},
        {DrawnKind::Icon, QSize(2, 1), QImage::Format_ARGB32, true},
        {DrawnKind::EnhancedMetafile, QSize(48, 24), QImage::Format_RGB32, true},
        {DrawnKind::PlaceableMetafile, QSize(16385, 1), QImage::Format_RGB32, false},
        {DrawnKind::Icon, QSize(16385, 1), QImage::Format_ARGB32, false},
    };
    for (const Case& c : cases) {
        QImage drawn(c.size, c.format);
        if (c.format == QImage::Format_Indexed8) {
            drawn.setColorTable({qRgba(10, 20, 30, 128)});
            drawn.fill(0);
        } else {
            drawn.fill(QColor(10, 20, 30, 128));
        }
        const QImage reply = replyImage(c.kind, drawn);
        EXPECT_EQ(!reply.isNull(), c.kept) << c.size.width();
        if (!c.kept) continue;
        EXPECT_EQ(reply.format(), c.format == QImage::Format_RGB32 ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(reply.size(), c.size);
        EXPECT_EQ(reply.pixel(0, 0), drawn.convertToFormat(reply.format()).pixel(0, 0));
        // A premultiplied image goes out word for word.
        if (c.format == QImage::Format_ARGB32_Premultiplied) {
            EXPECT_EQ(*reinterpret_cast<const uint32_t*>(reply.constBits()), *reinterpret_cast<const uint32_t*>(drawn.constBits()));
        }
    }
    EXPECT_TRUE(replyImage(DrawnKind::Icon, QImage()).isNull());
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
