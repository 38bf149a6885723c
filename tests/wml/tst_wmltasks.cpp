#include "wml/WmlTasks.h"

#include <QTest>

class TestWmlTasks : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void goWritesReferenceAndOnlyTheAttributesThatAreSet() {
        CGo go;
        QCOMPARE(go.GetWML(), QByteArray("<go href=\"\"/>"));
        go.setReference("/x");
        QCOMPARE(go.GetWML(), QByteArray("<go href=\"/x\"/>"));
        go.setGoMethod(GoMethodPut);
        go.setSendReferer(true);
        QCOMPARE(go.GetWML(), QByteArray("<go href=\"/x\" method=\"put\" sendreferer=\"true\"/>"));
        go.setGoMethod(2);
        go.setSendReferer(false);
        QCOMPARE(go.GetWML(), QByteArray("<go href=\"/x\"/>"));
    }

    void goPostfieldsBecomeQueryParameters() {
        CGo go;
        go.setReference("/x");
        go.AddPostfield("a", "1");
        go.AddPostfield("b", "2");
        QCOMPARE(go.GetWML(), QByteArray("<go href=\"/x?a=1&amp;b=2\"/>"));

        CGo withQuery;
        withQuery.setReference("/?S=4");
        withQuery.AddPostfield("a", "1");
        QCOMPARE(withQuery.GetWML(), QByteArray("<go href=\"/?S=4&amp;a=1\"/>"));
    }

    void goVariablesAreWrittenAsSetvarChildren() {
        CGo go;
        go.setReference("/x");
        go.AddPostfield("p", "1");
        go.AddVariable("a", "1");
        QCOMPARE(go.GetWML(),
                 QByteArray("<go href=\"/x?p=1\"><setvar name=\"a\" value=\"1\"/></go>"));
    }

    void prevAndRefreshAreEmptyUntilTheyCarryVariables() {
        CPrev prev;
        CRefresh refresh;
        QCOMPARE(prev.GetWML(), QByteArray("<prev/>"));
        QCOMPARE(refresh.GetWML(), QByteArray("<refresh/>"));
        prev.AddVariable("a", "1");
        prev.AddVariable("b", "2");
        refresh.AddVariable("c", "<&>");
        QCOMPARE(prev.GetWML(), QByteArray("<prev><setvar name=\"a\" value=\"1\"/>"
                                           "<setvar name=\"b\" value=\"2\"/></prev>"));
        QCOMPARE(refresh.GetWML(),
                 QByteArray("<refresh><setvar name=\"c\" value=\"<&>\"/></refresh>"));
    }

    void nameValueElementsAlwaysWriteBothAttributes() {
        QCOMPARE(CVariable().GetWML(), QByteArray("<setvar name=\"\" value=\"\"/>"));
        QCOMPARE(CPostfield("n", "v").GetWML(), QByteArray("<postfield name=\"n\" value=\"v\"/>"));
        QCOMPARE(CNoop().GetWML(), QByteArray("<noop/>"));
    }

    void timerWritesSignedTenthsOfASecond() {
        CTimer timer;
        QCOMPARE(timer.GetWML(), QByteArray("<timer value=\"0\"/>"));
        timer.setValue(-5);
        QCOMPARE(timer.GetWML(), QByteArray("<timer value=\"-5\"/>"));
    }

    void doWritesNameLabelAndTypeInThatOrder() {
        CDo softkey;
        QCOMPARE(softkey.GetWML(), QByteArray("<do type=\"accept\"></do>"));
        const char* types[] = {"accept", "prev", "help", "reset", "options", "delete", "unknown"};
        for (qint32 type = DoAccept; type <= DoUnknown; ++type) {
            softkey.setDoType(type);
            QCOMPARE(softkey.GetWML(), "<do type=\"" + QByteArray(types[type]) + "\"></do>");
        }
        for (qint32 type : {7, -1}) {
            softkey.setDoType(type);
            QCOMPARE(softkey.GetWML(), QByteArray("<do></do>"));
        }
        softkey.setName("n");
        softkey.setLabel("OK");
        softkey.setDoType(DoOptions);
        softkey.setTaskType(TaskPrev);
        QCOMPARE(softkey.GetWML(),
                 QByteArray("<do name=\"n\" label=\"OK\" type=\"options\"><prev/></do>"));
    }

    void taskTypeChoosesOneOfFourTasksThatKeepTheirState() {
        CDo softkey;
        softkey.setDoType(99);
        softkey.Go()->setReference("/g");
        softkey.Prev()->AddVariable("p", "1");
        softkey.Refresh()->AddVariable("r", "2");
        const QList<std::pair<qint32, QByteArray>> cases = {
            {TaskRefresh, "<refresh><setvar name=\"r\" value=\"2\"/></refresh>"},
            {TaskPrev, "<prev><setvar name=\"p\" value=\"1\"/></prev>"},
            {TaskGo, "<go href=\"/g\"/>"},
            {TaskNoop, "<noop/>"},
            {0, ""},
            {16, ""},
            {2, ""},
        };
        for (const auto& [taskType, task] : cases) {
            softkey.setTaskType(taskType);
            QCOMPARE(softkey.GetWML(), "<do>" + task + "</do>");
        }
    }

    void taskSettersReplaceButNeverRemove() {
        COnEvent event;
        CDo softkey;
        softkey.setTaskType(TaskGo);
        auto go = std::make_shared<CGo>();
        event.setGo(go);
        softkey.setGo(go);
        softkey.setGo(nullptr);
        softkey.setPrev(nullptr);
        softkey.setRefresh(nullptr);
        softkey.setNoop(nullptr);
        event.setGo(nullptr);
        QVERIFY(softkey.Go() == go && softkey.Prev() && softkey.Refresh() && softkey.Noop());
        go->setReference("/next");
        QCOMPARE(event.GetWML(),
                 QByteArray("<onevent type=\"ontimer\"><go href=\"/next\"/></onevent>"));
        QCOMPARE(softkey.GetWML(), QByteArray("<do type=\"accept\"><go href=\"/next\"/></do>"));
    }
};

QTEST_GUILESS_MAIN(TestWmlTasks)
#include "tst_wmltasks.moc"
