#include "wml/WmlForms.h"

#include <QTest>

class TestWmlForms : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void inputWritesItsAttributesInFixedOrderUnderTheirConditions() {
        CInput input;
        QCOMPARE(input.GetWML(), QByteArray("<input emptyok=\"false\"/>"));
        input.setName("n");
        input.setFormat("*M");
        input.setTitle("T");
        input.setValue("v");
        input.setMaxLength(1);
        input.setSize(2);
        input.setTabIndex(3);
        input.setInputType(InputTypePassword);
        QCOMPARE(input.GetWML(),
                 QByteArray("<input name=\"n\" format=\"*M\" title=\"T\" value=\"v\" "
                            "maxlength=\"1\" size=\"2\" tabindex=\"3\" "
                            "emptyok=\"false\" type=\"password\"/>"));
        input.setMaxLength(-1);
        input.setSize(-2);
        input.setTabIndex(0);
        input.setEmptyOK(true);
        input.setInputType(2);
        QCOMPARE(input.GetWML(),
                 QByteArray("<input name=\"n\" format=\"*M\" title=\"T\" value=\"v\"/>"));
    }

    void selectWritesItsAttributesInFixedOrderUnderTheirConditions() {
        CSelect select;
        QCOMPARE(select.GetWML(), QByteArray("<select></select>"));
        select.setIName("i");
        select.setName("n");
        select.setTitle("T");
        select.setValue("v");
        select.setIValue(2);
        select.setTabIndex(3);
        select.setMultiple(true);
        QCOMPARE(select.GetWML(),
                 QByteArray("<select iname=\"i\" name=\"n\" title=\"T\" value=\"v\" "
                            "ivalue=\"2\" tabindex=\"3\" multiple=\"true\">"
                            "</select>"));
        select.setIValue(-2);
        select.setTabIndex(-3);
        select.setMultiple(false);
        QCOMPARE(select.GetWML(),
                 QByteArray("<select iname=\"i\" name=\"n\" title=\"T\" value=\"v\"></select>"));
    }

    void selectWritesOnlyTheListThatWasAddedToLast() {
        CSelect select;
        select.setName("s");
        select.AddOption("One", "1");
        select.AddOption("Two", "2");
        const QByteArray options(
            "<option value=\"1\">One</option><option value=\"2\">Two</option>");
        QCOMPARE(select.GetWML(), "<select name=\"s\">" + options + "</select>");
        auto group = select.AddOptionGroup("G");
        QCOMPARE(select.GetWML(), QByteArray("<select name=\"s\"><optgroup title=\"G\"></optgroup>"
                                             "</select>"));
        group->AddOption("In", "3");
        QCOMPARE(select.GetWML(),
                 QByteArray("<select name=\"s\"><optgroup title=\"G\">"
                            "<option value=\"3\">In</option></optgroup></select>"));
        select.AddOption("Three", "3");
        QCOMPARE(select.GetWML(),
                 "<select name=\"s\">" + options + "<option value=\"3\">Three</option></select>");
    }

    void optionWritesAttributesAndPlacesItsImage() {
        auto image = std::make_shared<CImage>();
        image->setSource("o.gif");
        COptionGroup group;
        QCOMPARE(group.GetWML(), QByteArray("<optgroup></optgroup>"));
        group.AddOption("A&B", "v", "/pick", "T", true, image);
        group.AddOption("", "", "", "", false, image);
        group.AddOption("", "");
        QCOMPARE(group.GetWML(),
                 QByteArray("<optgroup><option onpick=\"/pick\" title=\"T\" value=\"v\">A&amp;B"
                            "<img src=\"o.gif\" alt=\"\"/></option>"
                            "<option><img src=\"o.gif\" alt=\"\"/></option>"
                            "<option></option></optgroup>"));
    }
};

QTEST_GUILESS_MAIN(TestWmlForms)
#include "tst_wmlforms.moc"
