// The main window: settings for a connection, the hex file, the connection and flash buttons,
// two progress bars and the log view. Every board operation runs on a worker thread of its own
// (CBoardWorker) while the window's events go on; the operator's input is held meanwhile, except
// what asks for a stop.
#pragma once

#include <QDialog>
#include <QIcon>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "job/portlist.h"

struct CBoardAccess;
class CBoardSession;
class CBoardWorker;
class CDropList;
class CHexFile;
class CMessageBoxes;
class CWindowSink;
struct CBoardResult;
struct CBootSettings;
struct CWindowChoices;
class QAction;
class QComboBox;
class QFont;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

// How the window finds the machine's serial ports (EnumerateSerialPorts unless a test says otherwise).
using FnEnumeratePorts = std::function<void(std::vector<SerialPortInfo>&)>;

class CKelvoraDlg : public QDialog
{
    Q_OBJECT

public:
    // pBoxes: where message boxes and file dialogs go, borrowed; null for the real ones.
    explicit CKelvoraDlg(CMessageBoxes* pBoxes = nullptr, FnEnumeratePorts fnEnumerate = {},
                         QWidget* pParent = nullptr);
    ~CKelvoraDlg() override;

    // Start-up: loader names, working directory, start-up log, option lists, the choices of the
    // last run, the loader folder, log font, the image. Runs once, when the window is first shown.
    bool OnInitDialog();
    // true: members from the controls; false: controls from the members.
    void UpdateData(bool bSaveAndValidate);

    // Appends one line to the log and keeps it in view.
    void Log(const std::string& strLine);
    // Device path of the port chosen in the Port list; empty when none matches.
    std::string GetSelectedPortPath();
    // Releases the log font, the hex image and the link (closed first).
    void Cleanup();
    // Shows "Lost connection to target" and disconnects.
    void ReportLostConnection();
    // A run the operator stopped: where it stopped, then disconnects; nothing is reported as done.
    void ReportStopped();
    // After the Delete sectors or Flash it dialog: a stop asked for in it, or its Cancel result as
    // a lost connection (the link's text logged first).
    void EndBoardDialog(bool bCancelled);
    // Runs fnWork on the worker (CBoardWorker::Run) for this window: its lines and errors to the
    // log, its bars the window's; "&Exit" stays usable to ask for a stop.
    void RunOnBoard(const std::function<void()>& fnWork);
    // While a run is under way, the window's end waits: asks the operator whether to stop the run,
    // and if so closes the window once it is over. False when no run is under way.
    bool StopBeforeClosing();
    // Appends the record of one operation to the record file of the settings, when one is set;
    // a file that cannot be written is said in the log.
    void RecordOperation(CBoardResult result);
    // What the Delete sectors and Flash it dialogs borrow to work on the board.
    CBoardAccess GetBoardAccess();
    // The fast transfer (send ahead of echoes), chosen in the Connection group's context menu.
    bool IsFastTransfer() const;

    void accept() override;   // the accept key: OnOK
    void reject() override;   // Escape and the close box: OnCancel

    std::string m_strFileName;   // the Filename field (1009)
    std::string m_strPort;       // the Port list's selection (1001)
    QIcon m_hIcon;               // the application icon (128)
    std::string m_strLog;        // the whole log, every line ended by CR LF; only grows
    std::unique_ptr<QFont> m_pLogFont;
    std::vector<SerialPortInfo> m_ports;    // discovery order; friendly names as the Port list shows them
    std::unique_ptr<CHexFile> m_pHexFile;   // the operator's hex image; null when none is held
    // The link of the current or last connection attempt, with what can be done on it; null when none.
    std::unique_ptr<CBoardSession> m_pSession;
    std::string m_strWorkDir;           // the working directory at start-up
    std::string m_strLoaderDir;         // where the loader files are taken from
    std::string m_strChosenLoaderDir;   // the loader folder the operator chose; empty for none
    std::string m_strStartImage;        // opened at start-up instead of the last run's image
    std::string m_strBslFile;
    std::string m_strFirstLoaderFile;
    std::string m_strSecondLoaderFile;
    std::string m_strRecordFile;   // where each flash and erase appends its record; empty for none
    QAction* m_pFastTransferAction = nullptr;

    CMessageBoxes* m_pBoxes;   // never null

public slots:
    void OnExit();
    void OnAbout();
    void OnConnect();
    void OnDisconnect();
    void OnInfo();
    // Hex file selection (hexselection.cpp).
    void OnBrowse();
    void OnReload();
    void OnProperties();
    // The Delete sectors and Flash it dialogs (flashhandlers.cpp).
    void OnDeleteSectors();
    void OnFlash();

protected:
    void showEvent(QShowEvent* pEvent) override;
    // While a handler runs, a close request waits until it has ended.
    void closeEvent(QCloseEvent* pEvent) override;
    // The About item of the system menu, where the platform has one.
    bool nativeEvent(const QByteArray& eventType, void* pMessage, qintptr* pResult) override;
    // An image file dropped on the window is taken as through the folder button.
    void dragEnterEvent(QDragEnterEvent* pEvent) override;
    void dropEvent(QDropEvent* pEvent) override;

private:
    void OnOK();
    void OnCancel();
    void FillOptionLists();
    // Discovers the ports into m_ports; a failure is logged, the ports found before it stay.
    void EnumeratePorts();
    // The Port list from m_ports; the selection stays when its port is still there.
    void FillPortList();
    void RestoreChoices(const CWindowChoices& choices);
    void SaveChoices();
    // The boot chain's settings from the lists and the loader folder.
    CBootSettings MakeBootSettings();
    // True when the loader files of settings are there, or in a folder the operator then chose
    // (remembered, and set in settings); false when the operator declined.
    bool FindLoaderFiles(CBootSettings& settings);
    void SetLogFont();
    // Buttons of the Connection and Flash groups for the connected or not-connected state.
    void SetConnectedState(bool bConnected);
    // Replaces the held image by the file at strPath: verify, then load (hexselection.cpp).
    // strShownName names the file in the "not valid" box and line.
    void LoadHexFile(const std::string& strPath, const std::string& strShownName);
    // An image chosen by the operator (folder button, drop, command line): LoadHexFile, named
    // by its file name.
    void OpenHexFile(const std::string& strPath);

    // Controls, bound by the constructor.
    QComboBox* m_pFlashChipList;           // 1005
    QPushButton* m_pDeleteSectorsButton;   // 1017
    QPushButton* m_pFlashButton;           // 1016
    QPushButton* m_pInfoButton;            // 1015
    QProgressBar* m_pTestProgress;         // 1014, lower bar
    QProgressBar* m_pLoadProgress;         // 1013, upper bar
    QPushButton* m_pDisconnectButton;      // 1007
    QPushButton* m_pConnectButton;         // 1006
    QComboBox* m_pBoardList;               // 1003
    QComboBox* m_pSpeedList;               // 1002
    QPushButton* m_pReloadButton;          // 1011
    QPushButton* m_pPropertiesButton;      // 1012
    QLineEdit* m_pFileNameEdit;            // 1009
    QPushButton* m_pBrowseButton;          // 1010
    QPlainTextEdit* m_pLogView;            // 1004
    CDropList* m_pPortList;                // 1001

    friend class CHandlerScope;
    std::unique_ptr<CMessageBoxes> m_pOwnBoxes;
    std::unique_ptr<CBoardWorker> m_pWorker;
    std::unique_ptr<CWindowSink> m_pSink;
    int m_nHandlersRunning = 0;
    bool m_bCloseWhenIdle = false;
    FnEnumeratePorts m_fnEnumerate;
    bool m_bInitialized = false;
};
