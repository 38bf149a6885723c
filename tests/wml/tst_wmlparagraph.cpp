#include "wml/WmlParagraph.h"

#include <QTest>

class TestWmlParagraph : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void textIsEscapedWithDollarsDoubled() {
        CParagraph paragraph;
        paragraph.NormalText("a<b & $x");
        paragraph.NormalText("'\">", true);
        paragraph.NormalText("");
        QCOMPARE(paragraph.GetWML(), QByteArray("<p>a&lt;b &amp; $$x&apos;&quot;&gt;<br/></p>"));
    }

    void eachFormattingPutsItsTagsAroundTheTextAndTheBreakOutside() {
        CParagraph paragraph;
        paragraph.BoldText("");
        paragraph.BoldUnderlinedText("Error Message", true);
        paragraph.BigText("1");
        paragraph.EmphasisedText("2");
        paragraph.ItalicText("3");
        paragraph.SmallText("4");
        paragraph.StrongText("5");
        paragraph.UnderlinedText("6", true);
        QCOMPARE(paragraph.GetWML(),
                 QByteArray("<p><b></b><b><u>Error Message</u></b><br/><big>1</big><em>2</em>"
                            "<i>3</i><small>4</small><strong>5</strong><u>6</u><br/></p>"));

        CText text;
        text.setText("&");
        for (qint32 formatting : {9, -1, 0}) {
            text.setFormatting(formatting);
            QCOMPARE(text.GetWML(), QByteArray("&amp;"));
        }
    }

    void lineBreaksComeOnlyForAPositiveCount() {
        CParagraph paragraph;
        paragraph.AddLineBreak(0);
        paragraph.AddLineBreak(-3);
        QCOMPARE(paragraph.GetWML(), QByteArray("<p></p>"));
        paragraph.AddLineBreak(2);
        QCOMPARE(paragraph.GetWML(), QByteArray("<p><br/><br/></p>"));
    }

    void modeComesBeforeAlignmentAndUnknownValuesWriteNothing() {
        CParagraph paragraph;
        paragraph.setMode(ParagraphModeNoWrap);
        paragraph.setAlignment(ParagraphAlignCenter);
        QCOMPARE(paragraph.GetWML(), QByteArray("<p mode=\"nowrap\" align=\"center\"></p>"));
        paragraph.setMode(ParagraphModeWrap);
        paragraph.setAlignment(ParagraphAlignLeft);
        QCOMPARE(paragraph.GetWML(), QByteArray("<p mode=\"wrap\" align=\"left\"></p>"));
        paragraph.setAlignment(ParagraphAlignRight);
        paragraph.setMode(3);
        QCOMPARE(paragraph.GetWML(), QByteArray("<p align=\"right\"></p>"));
        paragraph.setAlignment(4);
        paragraph.setMode(0);
        QCOMPARE(paragraph.GetWML(), QByteArray("<p></p>"));
    }

    void tableRowsKeepTheColumnCountTheyWereBornWith() {
        CParagraph paragraph;
        auto table = paragraph.AddTable(2);
        table->AddRow("x");
        QCOMPARE(paragraph.GetWML(),
                 QByteArray("<p><table columns=\"2\"><tr><td>x</td><td></td></tr></table></p>"));
        table->setNumberOfColumns(1);
        auto row = table->AddRow("", "beyond", "3", "4", "5");
        QCOMPARE(table->GetWML(), QByteArray("<table columns=\"1\"><tr><td>x</td><td></td></tr>"
                                             "<tr><td></td></tr></table>"));
        row->SetColumn(1, "a<b");
        row->SetColumn(0, "none");
        row->SetColumn(2, "none");
        QCOMPARE(row->GetWML(), QByteArray("<tr><td>a<b</td></tr>"));
        row->setNumberOfColumns(2);
        QCOMPARE(row->GetWML(), QByteArray("<tr><td></td><td></td></tr>"));
        row->setNumberOfColumns(-1);
        QCOMPARE(row->GetWML(), QByteArray("<tr></tr>"));
        QCOMPARE(row->NumberOfColumns(), qint16(-1));
        QCOMPARE(CTable().GetWML(), QByteArray("<table columns=\"0\"></table>"));
    }

    void anchorOperationsSetTheirTaskAndReturnIt() {
        CParagraph paragraph;
        paragraph.AddGoAnchor("Main Menu", "/");
        paragraph.AddPrevAnchor("Back")->AddVariable("a", "1");
        paragraph.AddRefreshAnchor("Again", "/r");
        paragraph.AddGoAnchor("Up", "/u")->AddPostfield("k", "v");
        QCOMPARE(paragraph.GetWML(),
                 QByteArray("<p><anchor>Main Menu<go href=\"/\"/></anchor>"
                            "<anchor>Back<prev><setvar name=\"a\" value=\"1\"/></prev></anchor>"
                            "<anchor>Again<refresh/></anchor>"
                            "<anchor>Up<go href=\"/u?k=v\"/></anchor></p>"));
    }

    void creatingOperationsPassTheirArgumentsOn() {
        auto image = std::make_shared<CImage>();
        image->setSource("i.gif");
        CParagraph paragraph;
        paragraph.AddAnchor("Yes", "/x", image, true, true);
        paragraph.AddImage("/?F=1", "Welcome!", ImageAlignTop);
        paragraph.AddInput("P", 0, "", 0, false, true);
        paragraph.AddInput("pw", 8, "*N", 4, true);
        paragraph.AddSelect("s", 2, "i", "v", "T", 3, true);
        image->setAlternativeText("late");
        QCOMPARE(paragraph.GetWML(),
                 QByteArray("<p><a href=\"/x\"><b>Yes</b><img src=\"i.gif\" alt=\"late\"/></a>"
                            "<img src=\"/?F=1\" alt=\"Welcome!\" align=\"top\"/><input name=\"P\"/>"
                            "<input name=\"pw\" format=\"*N\" maxlength=\"8\" size=\"4\" "
                            "emptyok=\"false\" type=\"password\"/>"
                            "<select iname=\"i\" name=\"s\" title=\"T\" value=\"v\" ivalue=\"2\" "
                            "tabindex=\"3\" multiple=\"true\"></select></p>"));
    }
};

QTEST_GUILESS_MAIN(TestWmlParagraph)
#include "tst_wmlparagraph.moc"
