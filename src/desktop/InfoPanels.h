#pragma once

#include <QList>
#include <QUrl>
#include <QWidget>

class LinkLabel;
class QLabel;
class QPushButton;
class SiteAddressView;

// The About panel: the program's name and version, the link to the maker's
// web site (`lblURL`) and where the site is reached (`SiteAddressView`).
class AboutPanel : public QWidget {
    Q_OBJECT
public:
    explicit AboutPanel(QWidget* parent = nullptr);

    SiteAddressView* SiteAddresses() const { return m_siteAddresses; }

private:
    SiteAddressView* m_siteAddresses;
};

// The Help panel: the six questions of the setup check with their answers
// (`lblHelp` 0 to 5, each a link to its help anchor while it has one), the
// "Check my Setup" button and the link to the help web site.
class HelpPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int AnswerCount = 6;
    static const QStringList& Questions();

    explicit HelpPanel(QWidget* parent = nullptr);

    // Puts one answer's caption and its help link (empty: no link).
    void SetAnswer(int iIndex, const QString& sCaption, const QUrl& helpLink = {});
    // Every answer back to "Unknown" without a link.
    void ResetSetupAnswers();
    LinkLabel* Answer(int iIndex) const { return m_answers.at(iIndex); }
    // The built-in gateway's answer and what to type into an old phone;
    // the row is hidden while the caption is empty (the gateway is off).
    void SetGateway(const QString& sCaption, const QUrl& helpLink, const QString& sPhoneSettings);
    QPushButton* CheckMySetupButton() const { return m_check; }

Q_SIGNALS:
    void CheckMySetup();

private:
    QList<LinkLabel*> m_answers;
    QLabel* m_gatewayQuestion;
    LinkLabel* m_gatewayAnswer;
    QLabel* m_phoneSettings;
    QPushButton* m_check;
};
