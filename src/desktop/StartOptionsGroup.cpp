#include "desktop/StartOptionsGroup.h"

#include "base/StatusLog.h"
#include "desktop/AutostartEntry.h"
#include "desktop/NamedWidget.h"
#include "desktop/WindowState.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QVBoxLayout>

StartOptionsGroup::StartOptionsGroup(WindowState& state, StatusLog& log, QWidget* parent)
    : QGroupBox(tr("Start with the desktop"), parent) {
    auto* atLogin = NamedWidget<QCheckBox>("chkStartAtLogin", tr("Start Pocketlane when I log in"));
    atLogin->setChecked(AutostartEntry::IsPresent());
    connect(atLogin, &QCheckBox::clicked, this, [atLogin, &log](bool bOn) {
        QString error;
        if (AutostartEntry::SetPresent(bOn, QCoreApplication::applicationFilePath(), error))
            return;
        log.LogStatus(LogError, QStringLiteral("Could not change the autostart entry ") +
                                    AutostartEntry::File() + QStringLiteral(": ") + error);
        atLogin->setChecked(AutostartEntry::IsPresent());
    });
    auto* minimized =
        NamedWidget<QCheckBox>("chkStartMinimized", tr("Start minimized to the notification area"));
    minimized->setChecked(state.startsMinimized());
    connect(minimized, &QCheckBox::clicked, this,
            [&state](bool bOn) { state.setStartsMinimized(bOn); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(atLogin);
    layout->addWidget(minimized);
}
