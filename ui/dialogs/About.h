#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The About window: product, company and author, two text blocks, a picture, three
// links and OK. A fixed-size tool window without owner; it puts itself on top of the
// other windows once, when it is created, and is destroyed when closed.
class About : public QWidget {
    Q_OBJECT
public:
    explicit About(QWidget* parent = nullptr);

    // The process keeps at most one About window: `slot` holds it. Creates the window
    // when the slot is empty (or its window was closed), otherwise shows and raises
    // the existing one without loading it again.
    static About* showSingle(QPointer<About>& slot);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPushButton* Command1;
    QLabel* Label1;
    QLabel* l2;
    QLabel* Label2;
    QLabel* Label3;
    QPlainTextEdit* Text1;
    QLabel* Label4;
    QLabel* Label5;
    QPlainTextEdit* Text2;
    QLabel* Label6;
    QLabel* Label7;
    QLabel* Label8;
    QLabel* Image1;

    // Each link opens its own copy of the address its caption shows.
    const QString m_companyUrl;
    const QString m_authorUrl;
    const QString m_authorMail;
};
