#include "wml/WmlLinks.h"

#include <QTest>

namespace {
std::shared_ptr<CImage> Image(const QByteArray& source) {
    auto image = std::make_shared<CImage>();
    image->setSource(source);
    return image;
}
} // namespace

class TestWmlLinks : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void imageAlwaysWritesSourceAndAlternativeText() {
        CImage image;
        QCOMPARE(image.GetWML(), QByteArray("<img src=\"\" alt=\"\"/>"));
        image.setSource("a.gif");
        image.setAlternativeText("A & B");
        const QList<std::pair<qint32, QByteArray>> alignments = {
            {0, ""},
            {ImageAlignTop, " align=\"top\""},
            {ImageAlignMiddle, " align=\"middle\""},
            {ImageAlignBottom, " align=\"bottom\""},
            {5, ""},
            {-1, ""}};
        for (const auto& [alignment, attribute] : alignments) {
            image.setAlignment(alignment);
            QCOMPARE(image.GetWML(), "<img src=\"a.gif\" alt=\"A &amp; B\"" + attribute + "/>");
        }
    }

    void linkEscapesItsTitleButNotItsReference() {
        CA link;
        QCOMPARE(link.GetWML(), QByteArray("<a href=\"\"></a>"));
        link.setReference("/?S=1&amp;K=$(K)");
        link.setTitle("R&D $5 <\"'>");
        QCOMPARE(link.GetWML(), QByteArray("<a href=\"/?S=1&amp;K=$(K)\">"
                                           "R&amp;D $$5 &lt;&quot;&apos;&gt;</a>"));
    }

    void linkPlacesImageAndBoldAroundTheTitle() {
        CA link;
        link.setReference("/x");
        link.setTitle("Yes");
        link.setBold(true);
        QCOMPARE(link.GetWML(), QByteArray("<a href=\"/x\"><b>Yes</b></a>"));
        auto image = Image("i.gif");
        link.setImage(image);
        link.setImage(nullptr);
        QCOMPARE(link.GetWML(),
                 QByteArray("<a href=\"/x\"><img src=\"i.gif\" alt=\"\"/><b>Yes</b></a>"));
        link.setShowImageAfterTitle(true);
        image->setAlignment(ImageAlignTop);
        QCOMPARE(link.GetWML(), QByteArray("<a href=\"/x\"><b>Yes</b>"
                                           "<img src=\"i.gif\" alt=\"\" align=\"top\"/></a>"));
    }

    void anchorEscapesItsTitleAndWritesOnlyTheSelectedTask() {
        CAnchor anchor;
        anchor.setTitle("R&D $5");
        anchor.setReference("/not-written");
        QCOMPARE(anchor.GetWML(), QByteArray("<anchor>R&amp;D $$5</anchor>"));
        anchor.setTaskType(16);
        QCOMPARE(anchor.GetWML(), QByteArray("<anchor>R&amp;D $$5</anchor>"));
        anchor.setTaskType(TaskNoop);
        QCOMPARE(anchor.GetWML(), QByteArray("<anchor>R&amp;D $$5<noop/></anchor>"));
        anchor.Go()->setReference("/x");
        anchor.setTaskType(TaskGo);
        QCOMPARE(anchor.GetWML(), QByteArray("<anchor>R&amp;D $$5<go href=\"/x\"/></anchor>"));
    }

    void anchorImageComesBeforeOrAfterTheTitleAndBeforeTheTask() {
        CAnchor anchor;
        anchor.setTitle("Back");
        anchor.setTaskType(TaskPrev);
        anchor.setImage(Image("a.gif"));
        anchor.setImage(Image("b.gif"));
        anchor.setImage(nullptr);
        QCOMPARE(anchor.GetWML(),
                 QByteArray("<anchor><img src=\"b.gif\" alt=\"\"/>Back<prev/></anchor>"));
        anchor.setShowImageAfterTitle(true);
        QCOMPARE(anchor.GetWML(),
                 QByteArray("<anchor>Back<img src=\"b.gif\" alt=\"\"/><prev/></anchor>"));
    }
};

QTEST_GUILESS_MAIN(TestWmlLinks)
#include "tst_wmllinks.moc"
