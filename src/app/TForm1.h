#pragma once
// src/app: the top floor. Start-up, the main window with its panels' layout
// and shared controls, the report dialog, the skin and the seams to the
// desktop. The panels' handlers live beside their engines (split/, join/,
// verify/, presets/) but belong to this window.

#include "app/Seams.h"
#include "split/SplitEngine.h"

#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

class QComboBox;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class ClickLabel;
class LinkLabel;
class Gauge;
class Memo;
class PictureButton;
class ShapeOutline;
namespace tfs {
struct JoinChecks;
}

// The main window: one panel at a time (start, split, join, compare, presets,
// about). The handlers keep the names of the controls and events they serve;
// each panel's handlers are defined in its subsystem's folder.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    TForm1();
    ~TForm1() override;

    // Runs a handler; an exception that escapes it goes to the top-level error
    // handler, which shows its text in a message box, and the program goes on.
    void guarded(const std::function<void()>& handler);
    static void showError(const QString& text);

    // Closes the window on the program's own behalf (never refused).
    void closeByProgram();
    bool closeCommandEnabled() const { return closeEnabled_; }

    // ---------------------------------------------------------------- panels
    QGroupBox* GroupBox1; // start
    QGroupBox* GroupBox2; // "Split Files"
    QGroupBox* GroupBox3; // "Join Files"
    QGroupBox* GroupBox4; // "Compare"
    QGroupBox* GroupBox5; // "Presets"
    QGroupBox* GroupBox6; // "About"

    // ---------------------------------------------------------------- start panel
    PictureButton* suiImageButton3; // Split
    PictureButton* suiImageButton1; // Join
    PictureButton* suiImageButton2; // Compare
    PictureButton* suiImageButton4; // Presets
    QPushButton* suiImageButton9;   // "About"
    ClickLabel* Image3;

    // ---------------------------------------------------------------- split panel
    QPushButton* BitBtn1; // "Load  File"
    QLabel* Label10;
    Memo* suiMemo3;
    QLabel* Label1;
    QLineEdit* Edit1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label7;
    QLineEdit* Edit2;
    QComboBox* ComboBox1;
    QLineEdit* Edit7;
    QPushButton* BitBtn6; // "Split"
    QLabel* Label8;
    QLineEdit* Edit3;
    QPushButton* BitBtn7; // " Destination"
    QLabel* Label9;
    ClickLabel* Image5;
    QLineEdit* Edit4;
    Gauge* Gauge1;
    QLabel* gEdit1;
    QPushButton* BitBtn10; // "Main"
    QPushButton* BitBtn9;  // "Cancel" / "Undo"
    QMenu* PopupMenu1;

    // ---------------------------------------------------------------- join panel
    QPushButton* suiImageButton10; // "Load File"
    QLabel* Label5;
    QLineEdit* Edit5;
    QPushButton* suiImageButton12; // "Destination"
    QLabel* Label6;
    ClickLabel* Image6;
    QLineEdit* Edit6;
    ClickLabel* Image1;
    QPushButton* BitBtn2;          // "Join"
    PictureButton* suiImageButton5; // run joined and exit
    QLabel* Label12;
    Gauge* Gauge2;
    QLabel* gEdit2;
    QPushButton* BitBtn11; // "Main"
    QPushButton* BitBtn12; // "Cancel"
    QPushButton* BitBtn22; // "Undo"

    // ---------------------------------------------------------------- compare panel
    QPushButton* BitBtn3; // "CheckSum"
    Gauge* Gauge3;
    QLabel* gEdit3;
    Memo* suiMemo1;
    QPushButton* BitBtn4; // "Compare Files"
    Gauge* Gauge4;
    QLabel* gEdit4;
    Memo* suiMemo2;
    QPushButton* BitBtn13; // "Main"
    QPushButton* BitBtn21; // checksum "Cancel"
    QPushButton* BitBtn14; // comparison "Cancel"

    // ---------------------------------------------------------------- presets panel
    PictureButton* BitBtn23;        // "1.2 MB"
    PictureButton* BitBtn15;        // "1.44MB"
    PictureButton* suiImageButton11; // "2.88MB"
    PictureButton* BitBtn16;        // "100"
    PictureButton* suiImageButton6; // "250"
    PictureButton* suiImageButton7; // "650MB"
    PictureButton* BitBtn17;        // "700MB"
    PictureButton* suiImageButton13; // "800MB"
    PictureButton* BitBtn18;        // "DVD"
    PictureButton* suiImageButton8; // "Fat32"
    QLabel* Label4;
    ClickLabel* Image7;
    ShapeOutline* Shape1;
    Gauge* Gauge5;
    QLabel* gedit5;
    QPushButton* BitBtn19; // "Main"
    QPushButton* BitBtn20; // "Cancel" / "Undo"

    // ---------------------------------------------------------------- about panel
    ClickLabel* ProgramIcon;
    QLabel* ProductName;
    QLabel* Version;
    QLabel* CreditLabel;
    QLabel* Comments;
    LinkLabel* Label11;
    ClickLabel* Image4;
    ClickLabel* Image8;
    LinkLabel* Label13;
    QGroupBox* GroupBox7;
    Memo* suiMemo4;

    // ---------------------------------------------------------------- outside the panels
    QPushButton* BitBtn5; // hidden; runs the missing-part scan
    FileOpenDialog OpenDialog1{QStringLiteral("Select File to Split"), QString()};
    FileOpenDialog OpenDialog2{QStringLiteral("Join Files"), QStringLiteral("Select File  (*.0*)")};
    FolderBrowser JamBfF1{QStringLiteral("Browse for Folder to store Your Splited Files"),
                          QStringLiteral(" Output Folder")};

    // ---------------------------------------------------------------- window and navigation
    void FormCreate();
    void arrange();
    void sakrigrupe();
    void onemogucix();
    void omogucix();
    void FormKeyPress(QChar key);
    void FormCloseQuery();

    // ---------------------------------------------------------------- split panel
    void suiImageButton3Click(); // opens the panel
    void BitBtn10Click();
    void splitPanelStartup();    // runs inside FormCreate
    void splitPanelCloseStep();  // the panel's step of the close request
    void BitBtn1Click();
    void ComboBox1Change();
    bool ComboBox1KeyPress(QChar key); // false: the key is discarded
    void Edit1Change();
    bool Edit2KeyPress(QChar key);     // false: the key is discarded
    bool Edit2KeyDown(QKeyEvent* e);   // false: the key is discarded
    void Edit2Change();
    qint64 kolikoizlaznihfajlova();
    void konverzijaBKMG();
    void BitBtn7Click();
    void Edit3Change();
    void Edit4Change();
    void Image5Click();
    void Image5MouseDown();
    void Image5MouseUp();
    void OpenDialog1Close();
    void JamBfF1Close();
    void BitBtn6Click();
    void BitBtn9Click();
    void sstfdisabled();
    void sstfenabled();
    // The split engine run with the window's hooks (gauges, Edit4, report dialog).
    tfs::SplitOutcome runSplit(const QString& sourcePath, qint64 partSize);
    // Split, then write the list: the Split command's and the presets' one
    // routine. Runs runSplit and, when the split ran to completion, writes
    // its part list beside the parts (list: its path; empty when none was
    // written; listError: why the list could not be written, the parts being
    // complete and kept). The parts that a failed split leaves go to
    // partsLeft, which the panel's Cancel, the close or the next split removes.
    struct SplitRun {
        tfs::SplitOutcome outcome = tfs::SplitOutcome::Cancelled;
        QString list;
        QString listError;
    };
    SplitRun splitAndList(const QString& sourcePath, qint64 partSize, QStringList& partsLeft);

    // ---------------------------------------------------------------- join panel
    void suiImageButton1Click(); // opens the panel
    void BitBtn11Click();
    void joinPanelCloseStep();
    void joinAbortReset();       // the reset after "Abort" in the report dialog
    void suiImageButton10Click();
    void suiImageButton12Click();
    void BitBtn2Click();
    void BitBtn5Click();
    void BitBtn12Click();
    void BitBtn22Click();
    void suiImageButton5Click();
    void Image6Click();
    void Image6MouseDown();
    void Image6MouseUp();
    void Edit5Change();
    void Edit6Change();
    void joindisable();
    void joinenable();
    void joindisabled();
    void joinenabled();
    void Exticon();

    // ---------------------------------------------------------------- compare panel
    void suiImageButton2Click(); // opens the panel
    void BitBtn13Click();
    void BitBtn3Click();
    void GetCheckSum1();
    void BitBtn21Click();
    void suiMemo1Change();
    void BitBtn4Click();
    bool comparefiles(const QString& first, const QString& second);
    void BitBtn14Click();
    void suiMemo2Change();

    // ---------------------------------------------------------------- presets panel
    void suiImageButton4Click(); // opens the panel
    void BitBtn19Click();
    void presetsPanelCloseStep();
    void comparePanelCloseStep();
    void BitBtn23Click();
    void BitBtn15Click();
    void suiImageButton11Click();
    void BitBtn16Click();
    void suiImageButton6Click();
    void suiImageButton7Click();
    void BitBtn17Click();
    void suiImageButton13Click();
    void BitBtn18Click();
    void suiImageButton8Click();
    void standardniformati();
    void BitBtn20Click();
    void BitBtn23MouseEnter(QWidget* button);
    void BitBtn23MouseExit();
    void Image7Click();
    void Image7MouseDown();
    void Image7MouseUp();
    void disabledpresets();
    void enablepresets();
    void presdisabled();
    void presenabled();

    // ---------------------------------------------------------------- about panel
    void suiImageButton9Click(); // opens the panel
    void idinaurl(QObject* control);
    void Label11Click();
    void Label13Click();
    void Image8Click();
    void Image4Click();
    void Image4MouseDown();
    void Image4MouseUp();
    void Image8MouseDown();
    void Image8MouseUp();

    // Shows a folder or file with the desktop's program for it, then brings
    // the window back to the front.
    void openInShell(const QString& path);

    // ---------------------------------------------------------------- files from the desktop
    // Loads the file handed to the program (its argument, as "Open With"
    // passes it) into the fitting panel once the event loop runs.
    void openGiven(const QStringList& files);

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    // Each panel's controls, built at their places, with their events bound.
    void buildStartPanel();
    void buildSplitPanel();
    void buildJoinPanel();
    void buildComparePanel();
    void buildPresetsPanel();
    void buildAboutPanel();
    void setTabOrder(const QList<QWidget*>& order);
    // Connects a control's signal to a handler run through guarded().
    template <class Sender, class Signal>
    void bind(Sender* sender, Signal signal, void (TForm1::*handler)()) {
        connect(sender, signal, this, [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    }

    // Sizes the window so that its outer size, frame included, is 340 x 365.
    void fitOuterSize();

    bool closeEnabled_ = true;
    bool shownBefore_ = false;
    bool programClose_ = false;

    // ------------------------------------------------ per-panel working state
    // Split panel: the list file written by the split that Cancel/Undo belongs to.
    QString splitListWritten_;
    // True while the split engine runs (split panel or presets): the split
    // panel's buttons stay disabled until it has returned.
    bool splitEngineRunning_ = false;
    // Presets panel: true while a preset split runs.
    bool presetSplitRunning_ = false;
    // Presets panel: a preset button's command around standardniformati, and
    // the Undo of a finished preset split.
    void runMediaPreset(int index);
    bool undoPresetSplit();
    // Compare panel: true while a checksum or a comparison runs.
    bool verifyRunning_ = false;
    void enableVerifyCommands(bool enable); // CheckSum and Compare Files
    // Join panel: true while a join runs.
    bool joinRunning_ = false;
    // The steps of the Join command (BitBtn2Click), in their order.
    enum class JoinMissingAnswer { NoneMissing, JoinAnyway, Abort };
    bool joinPrepare(const QString& chosen);
    bool joinRefusedBeforeWriting();
    void joinRefuse(const QStringList& lines);
    JoinMissingAnswer joinAskAboutMissingParts(const QString& chosen,
                                               const tfs::JoinChecks& checks);
    void joinChooseOutputName(const QString& chosen);
    // What the check files beside the parts said of a join.
    struct JoinCheckVerdict {
        bool decided = false; // a check failed and the user chose in the report
        QStringList lines;    // the completion report's lines about the check files
    };
    bool joinRunEngine(const QString& chosen, qint64 lastOrdinal, const tfs::JoinChecks& checks,
                       JoinCheckVerdict& verdict);
    void joinShowResult(bool completed, const QString& chosen, const QStringList& leftOut,
                        const JoinCheckVerdict& verdict);
    // Split and presets panels: the parts that a failed split left on disk,
    // which the panel's Cancel (or closing the window) still removes.
    QStringList splitPartsLeft_;
    QStringList presetPartsLeft_;
    void removeLeftoverParts();

    // Files from the desktop (DesktopOpen.cpp): where a drop lands, and the
    // loading of a file as each panel's own dialog would have chosen it.
    enum class DropZone { None, Start, Split, Join, Checksum, Compare };
    DropZone dropZoneAt(const QPoint& pos) const;
    bool operationRunning() const;
    void prepareDrops();
    void takeDrop(DropZone zone, const QList<QUrl>& urls);
    void openInFittingPanel(const QString& path);
    void loadGiven(FileOpenDialog& dialog, const QStringList& paths, void (TForm1::*handler)());
    void refuseOpening(const QStringList& report);
};
