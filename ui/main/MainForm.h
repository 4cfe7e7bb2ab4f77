#pragma once

#include "forms/BannerState.h"
#include "forms/RunOutcome.h"
#include "platform/System.h"
#include "ui/widgets/WindowSetup.h"

#include <QPointer>
#include <QWidget>
#include <exception>
#include <functional>
#include <string_view>

struct Mod;
struct BatchInput;
struct BatchResult;
class About;
class BackgroundRun;
class FileBro;
class PictureButton;
class Texts;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;

// The startup window: gathers the choices for a batch run, opens the code window and
// the folder picker, runs the batch and shows its log. The process lives as long as
// this window: its close ends everything.
class MainForm : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainForm)
public:
    MainForm(Mod& mod, const platform::System& system, QWidget* parent = nullptr);
    ~MainForm() override;

    // The code window; created hidden if it does not exist.
    Texts* texts();
    // The open folder picker, or null.
    FileBro* fileBro() const;
    // Shows the folder picker, creating it if it does not exist.
    void showFileBro();

    // The last step of the exit sequence. Quits the event loop unless replaced (tests
    // replace it so the exit sequence can run without ending the test process).
    void setEndProcess(std::function<void()> endProcess);
    // From a press of Command2 until the run it started has ended and been reported.
    bool running() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void finishControls();
    void setUpKeyboard();
    void groupPositions();
    void connectEvents();
    void load();

    void check1Click();
    void cmdAddClick();
    void cmdOpenClick();
    void command1Click();
    void command2Click();
    BatchInput choices();
    void runEnded(const BatchResult& result, const std::exception_ptr& failure);
    void tellCodeIsEmpty();
    void reportOutcome(const BatchResult& result);
    void command3Click();
    void command4Click();
    void tickBanner();

    // Appends a piece of the core's log (CR LF line breaks) at the end of Text1.
    void appendLog(std::string_view text);
    void exitSequence();

    // The controls this window's code works with, under the design's names; the tests find every
    // control by its object name.
    QPlainTextEdit* Text1;
    QPushButton* CmdOpen;
    QPushButton* CmdAdd;
    PictureButton* Command2;
    PictureButton* Command1;
    PictureButton* Command3;
    PictureButton* Command4;
    QRadioButton* Option1;
    QRadioButton* Option2;
    QRadioButton* Option3;
    QRadioButton* Option4;
    QRadioButton* OOther;
    QLineEdit* TOther;
    QRadioButton* Ohead;
    QCheckBox* Check1;
    QLineEdit* TExclude;
    QCheckBox* CheckPreview;
    QLabel* ADL;
    QTimer* Timer1;

    Mod& m_mod;
    layout::BannerState m_banner;
    const platform::System m_system;
    BackgroundRun* m_run;
    QPointer<Texts> m_texts;
    QPointer<FileBro> m_fileBro;
    // The About window, once it exists; closed by the exit sequence.
    QPointer<About> m_about;
    // Where the last picker and the last About window were closed: the next one opens there.
    WindowPlace m_fileBroPlace;
    WindowPlace m_aboutPlace;
    std::function<void()> m_endProcess;
    bool m_exitRequested = false;
    bool m_exiting = false;
    layout::LogText m_log{layout::LogText::Breaks::Lf};
};
