// Shared pieces of the window tests: a simulated board on a pty, registered for port discovery
// like kelvora-boardsim does, and the target files in a temporary working directory.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTest>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "res/resource.h"
#include "sim/boardsim.h"
#include "sim/portregistration.h"
#include "support/boardfiles.h"
#include "support/tempdir.h"
#include "tests/ui/recordingboxes.h"
#include "ui/dialogbuilder.h"
#include "ui/kelvoradlg.h"

class QAbstractButton;

class CUiBoard
{
public:
    // The name the Port list shows for the board.
    static constexpr const char* kPortName = "kelvora-sim-test";
    static constexpr int kFlasherSize = 2000;
    static constexpr int kSectorCount = 8;

    // Writes prel1.hex, prel2.hex, the three flasher programs (info texts from InfoText) and
    // sample.hex into a fresh folder, makes it the working directory, starts the board and
    // registers it under a private XDG_RUNTIME_DIR. Throws std::runtime_error on failure.
    CUiBoard();
    ~CUiBoard();
    CUiBoard(const CUiBoard&) = delete;
    CUiBoard& operator=(const CUiBoard&) = delete;

    // The info text of a flasher program file ("main.h86" -> "Test flasher main.h86").
    static std::string InfoText(const std::string& strFlasherFile);

    CBoardSim& Board() { return m_board; }
    const CTempDir& Dir() const { return m_dir; }
    // Bytes the board received since its wire log was last cleared.
    std::vector<uint8_t> ToBoard() const { return WireBytes(m_board, true); }

private:
    CTempDir m_dir;
    CTempDir m_runtime;
    QString m_strOldDir;
    QByteArray m_oldRuntimeDir;
    bool m_bHadRuntimeDir;
    CBoardSim m_board;
    CPortRegistration m_registration;
};

// The main window with the recorder for its boxes, shown, so that its start-up has run; without
// the choices of windows before it unless bKeepChoices.
std::unique_ptr<CKelvoraDlg> OpenMainWindow(CRecordingBoxes& boxes, FnEnumeratePorts fnEnumerate = {},
                                            bool bKeepChoices = false);
// The windows keep their choices (QSettings) in strDir, never the user's, for the process's life.
void KeepSettingsIn(const QString& strDir);
// Selects the Port entry with this text; false when there is none.
bool SelectPort(CKelvoraDlg& dlg, const std::string& strName);
// Ends the run with a message naming the control: every step after it would act on nothing.
[[noreturn]] void MissingControl(const QWidget* pDialog, int nId, const char* pszType);
// The control with this dialog control ID (res/resource.h) inside pDialog, found as an
// operator's tool finds it; a missing one, or one of another type, fails the run.
template <class T>
T* Control(QWidget* pDialog, int nId)
{
    T* pControl = FindControl<T>(pDialog, nId);
    if (pControl == nullptr)
        MissingControl(pDialog, nId, T::staticMetaObject.className());
    return pControl;
}
// A left click on a button, as the operator does it (nothing happens when it is disabled).
void Click(QAbstractButton* pButton);
// Runs fnAct on the modal dialog that opens next (or null when none did), as soon as its own
// event loop runs; fnAct ends it, e.g. by clicking its OK button. Call it before the click that
// opens the dialog.
void WhenModalOpens(std::function<void(QWidget* pDialog)> fnAct);
// A board with this one fault, for the rows of a test table.
template <class T, class U>
CBoardFaults Fault(T CBoardFaults::*pMember, U value)
{
    CBoardFaults faults;
    faults.*pMember = static_cast<T>(value);
    return faults;
}
// One QtTest row per case of a table, named by its pszName; the test reads its case by "row".
template <class T, size_t N>
void AddRows(const T (&cases)[N])
{
    QTest::addColumn<int>("row");
    for (size_t i = 0; i < N; ++i)
        QTest::newRow(cases[i].pszName) << static_cast<int>(i);
}
// m_strLog split at its CR LF line ends.
std::vector<std::string> LogLines(const CKelvoraDlg& dlg);

// The test class of one QtTest program, named in its file with KELVORA_UI_TEST(Class); the shared
// main (uitestmain.cpp) runs it in a QApplication.
QObject* MakeUiTest();
#define KELVORA_UI_TEST(Class)                                                                               \
    QObject* MakeUiTest()                                                                                    \
    {                                                                                                        \
        return new Class;                                                                                    \
    }                                                                                                        \
    using CUiTest = Class   // lets the use end with a semicolon
