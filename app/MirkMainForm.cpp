#include "app/MirkMainForm.h"

#include "app/ErrorReport.h"
#include "app/ReportingSlot.h"
#include "help/HtmlHlp.h"
#include "platform/browser/WebBrowser.h"
#include "platform/core/ProgramVersion.h"
#include "platform/player/FlashControl.h"
#include "platform/widgets/DesignScale.h"
#include "platform/widgets/LbSpeedButton.h"
#include "platform/widgets/ListView.h"
#include "platform/widgets/StatusBar.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace tessaro {

namespace {

QFrame* MakePanel(const char* name, QWidget* parent, QFrame::Shadow bevel)
{
    auto* panel = new QFrame(parent);
    panel->setObjectName(QString::fromLatin1(name));
    if (bevel != QFrame::Plain)
        panel->setFrameStyle(QFrame::Panel | bevel);
    return panel;
}

TLbSpeedButton* MakeButton(const char* name, QWidget* parent, const QString& caption, QStyle::StandardPixmap image,
                           int left, int top, int width, int height)
{
    auto* button = new TLbSpeedButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->SetCaption(caption);
    button->setIcon(button->style()->standardIcon(image));
    button->setIconSize(QSize(Scaled(32), Scaled(32)));
    button->setGeometry(Scaled(left), Scaled(top), Scaled(width), Scaled(height));
    return button;
}

QVBoxLayout* Column(QWidget* owner, int margin = 0)
{
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(0);
    return layout;
}

QAction* MakeAction(const char* name, const QString& caption, QObject* parent)
{
    auto* action = new QAction(caption, parent);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

}  // namespace

TMainFrm::TMainFrm(QWidget* parent)
    : QMainWindow(parent),
      webPage_(std::make_unique<TWebPageController>([this] { return Busy; })),
      cachePage_(std::make_unique<TCachePageController>())
{
    setObjectName(QStringLiteral("MainFrm"));
    setWindowTitle(QStringLiteral("Tessaro v") + QString::fromLatin1(kProgramVersion));
    // The design font is 13 pixels high at 120 ppi; captions are sized for it.
    QFont designFont = font();
    designFont.setPixelSize(Scaled(13));
    setFont(designFont);
    BuildControls();
    BuildMenus();
    WireCachePage();
    move(Scaled(39), Scaled(42));
    resize(Scaled(892), Scaled(535) + menuBar()->sizeHint().height());

    // An error inside FormCreate ends FormCreate only; the window is still made.
    try {
        FormCreate();
    } catch (const std::exception& error) {
        ShowErrorReport(error);
    }
}

TMainFrm::~TMainFrm()
{
    // Before any widget goes: the jobs' reports name them. Every job is asked
    // to end first, so they wind down side by side; then each is joined, and
    // what it had not yet delivered is dropped with it.
    disconnect(webPage_.get(), nullptr, this, nullptr);
    disconnect(cachePage_.get(), nullptr, this, nullptr);
    webPage_->CancelJobs();
    cachePage_->CancelJobs();
    webPage_.reset();  // joins its jobs and readers
    cachePage_->StopJobs();
}

void TMainFrm::BuildControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(client);
    QVBoxLayout* window = Column(client);
    Panel1 = MakePanel("Panel1", client, QFrame::Raised);
    Panel1->setFixedHeight(Scaled(40));
    LbSpeedButton1 = MakeButton("LbSpeedButton1", Panel1, QStringLiteral("Select All"), QStyle::SP_DialogApplyButton,
                                480, 2, 125, 36);
    LbSpeedButton2 = MakeButton("LbSpeedButton2", Panel1, QStringLiteral("Deselect All"), QStyle::SP_DialogResetButton,
                                608, 2, 125, 36);
    LbSpeedButton3 = MakeButton("LbSpeedButton3", Panel1, QStringLiteral("Download  Flash"),
                                QStyle::SP_DialogSaveButton, 736, 2, 149, 36);
    window->addWidget(Panel1);

    auto* middle = new QHBoxLayout();
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(0);
    window->addLayout(middle, 1);

    middle->addWidget(BuildPreview(client));
    Panel3 = MakePanel("Panel3", client, QFrame::Sunken);
    PageControl1 = new QTabWidget(Panel3);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    Column(Panel3, 1)->addWidget(PageControl1);
    middle->addWidget(Panel3, 1);

    PageControl1->addTab(BuildWebPage(), QStringLiteral("Internet Flash Movies"));
    PageControl1->addTab(BuildCachePage(), QStringLiteral("   IE Cache Files    "));
    PageControl1->setCurrentIndex(kWebPage);

    StatusBar1 = new TStatusBar(client);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setAccessibleName(QStringLiteral("Status"));
    StatusBar1->setFixedHeight(Scaled(21));
    StatusBar1->SetPanelCount(3);
    StatusBar1->SetPanelWidth(0, Scaled(575));
    StatusBar1->SetPanelWidth(1, Scaled(150));
    StatusBar1->SetPanelWidth(2, Scaled(100));
    StatusBar1->SetPanelText(0, QStringLiteral("Done"));
    window->addWidget(StatusBar1);

    WireControls();
}

// The preview column: the player above an empty filler.
QWidget* TMainFrm::BuildPreview(QWidget* parent)
{
    // The preview column keeps its width; a taller window grows only the
    // empty filler beneath the player.
    Panel2 = MakePanel("Panel2", parent, QFrame::Raised);
    Panel2->setFixedWidth(Scaled(233));
    QVBoxLayout* preview = Column(Panel2, 1);
    Panel7 = MakePanel("Panel7", Panel2, QFrame::Plain);
    Panel7->setFixedHeight(Scaled(474));
    ShockwaveFlash1 = new TShockwaveFlash(Panel7);
    ShockwaveFlash1->setObjectName(QStringLiteral("ShockwaveFlash1"));
    ShockwaveFlash1->setAccessibleName(QStringLiteral("Preview"));
    Column(Panel7)->addWidget(ShockwaveFlash1);
    Panel9 = MakePanel("Panel9", Panel2, QFrame::Plain);
    Panel9->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
    preview->addWidget(Panel7);
    preview->addWidget(Panel9, 1);
    return Panel2;
}

// "Internet Flash Movies": the address strip, the movie list and the page.
QWidget* TMainFrm::BuildWebPage()
{
    TabSheet1 = new QWidget();
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    QVBoxLayout* webPage = Column(TabSheet1);
    Panel4 = MakePanel("Panel4", TabSheet1, QFrame::Raised);
    Panel4->setFixedHeight(Scaled(40));
    LbSpeedButton5 = MakeButton("LbSpeedButton5", Panel4, QStringLiteral("Address :"),
                                QStyle::SP_FileDialogContentsView, 2, 2, 100, 36);
    UrlComBox = new QComboBox(Panel4);
    UrlComBox->setObjectName(QStringLiteral("UrlComBox"));
    UrlComBox->setAccessibleName(QStringLiteral("Address"));
    UrlComBox->setEditable(true);
    UrlComBox->setInsertPolicy(QComboBox::NoInsert);  // typed addresses are never added
    UrlComBox->setGeometry(Scaled(104), Scaled(8), Scaled(473), UrlComBox->sizeHint().height());
    UrlComBox->lineEdit()->installEventFilter(this);
    LbSpeedButton6 =
        MakeButton("LbSpeedButton6", Panel4, QStringLiteral("  GO!"), QStyle::SP_ArrowRight, 582, 2, 66, 36);
    LbSpeedButton6->setIconSize(QSize(Scaled(25), Scaled(25)));
    LbSpeedButton6->SetImageRight(true);
    webPage->addWidget(Panel4);

    Panel5 = MakePanel("Panel5", TabSheet1, QFrame::Plain);
    Panel5->setFixedHeight(Scaled(193));
    ListView1 = new TListView(Panel5);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setAccessibleName(QStringLiteral("Internet Flash Movies"));
    ListView1->setModel(webPage_->Movies());
    ListView1->SetColumnWidths({Scaled(50), Scaled(400), Scaled(75)});
    Column(Panel5)->addWidget(ListView1);
    webPage->addWidget(Panel5);

    Panel6 = MakePanel("Panel6", TabSheet1, QFrame::Sunken);
    WebBrowser1 = new TWebBrowser(Panel6);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setAccessibleName(QStringLiteral("Web page"));
    Column(Panel6, 1)->addWidget(WebBrowser1);
    webPage->addWidget(Panel6, 1);

    return TabSheet1;
}

// "IE Cache Files": the cache list.
QWidget* TMainFrm::BuildCachePage()
{
    TabSheet2 = new QWidget();
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    Panel8 = MakePanel("Panel8", TabSheet2, QFrame::Plain);
    ListView2 = new TListView(Panel8);
    ListView2->setObjectName(QStringLiteral("ListView2"));
    ListView2->setAccessibleName(QStringLiteral("IE Cache Files"));
    ListView2->setFrameShape(QFrame::NoFrame);
    ListView2->setModel(cachePage_->Movies());
    ListView2->SetColumnWidths({Scaled(50), Scaled(150), Scaled(75), Scaled(300)});
    Column(Panel8)->addWidget(ListView2);
    Column(TabSheet2)->addWidget(Panel8);

    return TabSheet2;
}

void TMainFrm::WireControls()
{
    for (TLbSpeedButton* button : {LbSpeedButton1, LbSpeedButton2, LbSpeedButton3, LbSpeedButton5, LbSpeedButton6})
        WireHoverColours(button);

    // Every handler of the window runs through ReportingSlot: some throw (the
    // browser refusing an address, the tab list without a home folder).
    connect(LbSpeedButton1, &QToolButton::clicked, this, ReportingSlot([this] { CheckAllRows(true); }));
    connect(LbSpeedButton2, &QToolButton::clicked, this, ReportingSlot([this] { CheckAllRows(false); }));
    connect(LbSpeedButton3, &QToolButton::clicked, this, ReportingSlot([this] { LbSpeedButton3Click(); }));
    connect(LbSpeedButton5, &QToolButton::clicked, this, ReportingSlot([this] { LbSpeedButton5Click(); }));
    connect(LbSpeedButton6, &QToolButton::clicked, this, ReportingSlot([this] { LbSpeedButton6Click(); }));
    connect(ListView1, &TListView::SelectItem, this,
            ReportingSlot([this](int row, bool selected) { ListView1SelectItem(row, selected); }));
    connect(ListView2, &TListView::SelectItem, this,
            ReportingSlot([this](int row, bool selected) { ListView2SelectItem(row, selected); }));
    connect(ListView1, &TListView::MouseDown, this,
            ReportingSlot([this](Qt::MouseButton b, QPoint) { ListView1MouseDown(b); }));
    connect(ListView2, &TListView::MouseDown, this,
            ReportingSlot([this](Qt::MouseButton b, QPoint) { ListView2MouseDown(b); }));
    connect(StatusBar1, &TStatusBar::Resized, this, ReportingSlot([this] { StatusBar1Resize(); }));
    connect(PageControl1, &QTabWidget::currentChanged, this, ReportingSlot([this] { PageControl1Change(); }));
}

void TMainFrm::BuildMenus()
{
    QMenuBar* MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));

    File1 = MainMenu1->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    Download1 = MakeAction("Download1", QStringLiteral("&Download Flash"), this);
    CopyFlash1 = MakeAction("CopyFlash1", QStringLiteral("&Copy Flash To..."), this);
    SaveWithNeeds1 = MakeAction("SaveWithNeeds1", QStringLiteral("Save With Everything It Needs..."), this);
    StopTransfer1 = MakeAction("StopTransfer1", QStringLiteral("Stop Transfer"), this);
    Exit1 = MakeAction("Exit1", QStringLiteral("E&xit"), this);
    AddCacheFolder1 = MakeAction("AddCacheFolder1", QStringLiteral("Add Cache Folder..."), this);
    RemoveCacheFolders1 = MakeAction("RemoveCacheFolders1", QStringLiteral("Remove Cache Folders"), this);
    File1->addAction(Download1);
    File1->addAction(CopyFlash1);
    File1->addAction(SaveWithNeeds1);
    File1->addAction(StopTransfer1);
    File1->addSeparator()->setObjectName(QStringLiteral("N7"));
    File1->addAction(AddCacheFolder1);
    File1->addAction(RemoveCacheFolders1);
    File1->addSeparator()->setObjectName(QStringLiteral("N5"));
    File1->addAction(Exit1);

    Edit1 = MainMenu1->addMenu(QStringLiteral("&Edit"));
    Edit1->setObjectName(QStringLiteral("Edit1"));
    SelectAll1 = MakeAction("SelectAll1", QStringLiteral("&Select All"), this);
    DeselectAll1 = MakeAction("DeselectAll1", QStringLiteral("&Deselect all"), this);
    ClearList1 = MakeAction("ClearList1", QStringLiteral("&Clear list"), this);
    Edit1->addAction(SelectAll1);
    Edit1->addAction(DeselectAll1);
    Edit1->addSeparator()->setObjectName(QStringLiteral("N1"));
    Edit1->addAction(ClearList1);
    Edit1->addSeparator()->setObjectName(QStringLiteral("N8"));
    ThoroughScan1 = MakeAction("ThoroughScan1", QStringLiteral("Thorough scan"), this);
    ThoroughScan1->setCheckable(true);
    ThoroughScan1->setChecked(true);
    Edit1->addAction(ThoroughScan1);

    Help1 = MainMenu1->addMenu(QStringLiteral("&Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    Content1 = MakeAction("Content1", QStringLiteral("&Content"), this);
    WebPage1 = MakeAction("WebPage1", QStringLiteral("&Home page"), this);
    About1 = MakeAction("About1", QStringLiteral("&About..."), this);
    Help1->addAction(Content1);
    Help1->addSeparator()->setObjectName(QStringLiteral("N2"));
    Help1->addAction(WebPage1);
    Help1->addSeparator()->setObjectName(QStringLiteral("N3"));
    Help1->addAction(About1);

    BuildPopupMenu();

    // No menu item has a shortcut key.
    for (QAction* action : findChildren<QAction*>())
        action->setShortcut(QKeySequence());

    WireMenus();
}

void TMainFrm::BuildPopupMenu()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    SelectAll2 = MakeAction("SelectAll2", QStringLiteral("Select All"), this);
    DeselectAll2 = MakeAction("DeselectAll2", QStringLiteral("Deselect All"), this);
    Clear1 = MakeAction("Clear1", QStringLiteral("Clear List"), this);
    Download2 = MakeAction("Download2", QStringLiteral("Download Flash"), this);
    CopyFlash2 = MakeAction("CopyFlash2", QStringLiteral("Copy Flash To"), this);
    SaveWithNeeds2 = MakeAction("SaveWithNeeds2", QStringLiteral("Save With Everything It Needs"), this);
    PopupMenu1->addAction(SelectAll2);
    PopupMenu1->addAction(DeselectAll2);
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N4"));
    PopupMenu1->addAction(Clear1);
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N6"));
    PopupMenu1->addAction(Download2);
    PopupMenu1->addAction(CopyFlash2);
    PopupMenu1->addAction(SaveWithNeeds2);
}

void TMainFrm::WireMenus()
{
    for (QAction* transfer : {Download1, CopyFlash1, Download2, CopyFlash2})
        connect(transfer, &QAction::triggered, this, ReportingSlot([this] { LbSpeedButton3Click(); }));
    for (QAction* save : {SaveWithNeeds1, SaveWithNeeds2})
        connect(save, &QAction::triggered, this, ReportingSlot([this] { SaveWithNeeds1Click(); }));
    connect(StopTransfer1, &QAction::triggered, this, ReportingSlot([this] { StopTransfer1Click(); }));
    connect(AddCacheFolder1, &QAction::triggered, this, ReportingSlot([this] { AddCacheFolder1Click(); }));
    connect(RemoveCacheFolders1, &QAction::triggered, this, ReportingSlot([this] { RemoveCacheFolders1Click(); }));
    connect(Exit1, &QAction::triggered, this, ReportingSlot([this] { Exit1Click(); }));
    for (QAction* selectAll : {SelectAll1, SelectAll2})
        connect(selectAll, &QAction::triggered, this, ReportingSlot([this] { CheckAllRows(true); }));
    for (QAction* deselectAll : {DeselectAll1, DeselectAll2})
        connect(deselectAll, &QAction::triggered, this, ReportingSlot([this] { CheckAllRows(false); }));
    for (QAction* clear : {ClearList1, Clear1})
        connect(clear, &QAction::triggered, this, ReportingSlot([this] {
                    // What the reads would append has no list to go to.
                    if (ActivePage() == kWebPage)
                        webPage_->StopReadingMovies(true);
                    ClearActiveList();
                }));
    connect(ThoroughScan1, &QAction::triggered, this,
            ReportingSlot([this] { ThoroughScan1Click(ThoroughScan1->isChecked()); }));
    connect(Content1, &QAction::triggered, this, ReportingSlot([this] { Content1Click(); }));
    connect(WebPage1, &QAction::triggered, this, ReportingSlot([this] { WebPage1Click(); }));
    connect(About1, &QAction::triggered, this, ReportingSlot([this] { About1Click(); }));
}

template <class Controller>
void TMainFrm::WireStatusOf(Controller* page)
{
    connect(page, &Controller::StatusText, this, [this](const QString& text) { SetStatusText(text.toStdString()); });
    connect(page, &Controller::Progress, this, [this](int percent) { SetProgress(percent); });
    connect(page, &Controller::StatusReset, this, [this] { ResetStatus(); });
    connect(page, &Controller::TransferRunningChanged, this, [this] { UpdateStopTransfer(); });
    // Rows to preview: the player starts before the first is picked.
    connect(page, &Controller::RowsToPreview, this, ReportingSlot([this] { ShockwaveFlash1->Prepare(); }));
    connect(page, &Controller::ErrorToShow, this, [](const std::exception_ptr& error) { ShowErrorReport(error); });
}
template void TMainFrm::WireStatusOf(TWebPageController* page);
template void TMainFrm::WireStatusOf(TCachePageController* page);

void TMainFrm::WireHoverColours(TLbSpeedButton* button)
{
    connect(button, &TLbSpeedButton::MouseEnter, button, [button] { button->SetCaptionColor(QColor(0, 0, 255)); });
    connect(button, &TLbSpeedButton::MouseExit, button, [button] { button->SetCaptionColor(QColor(0, 0, 0)); });
}

void TMainFrm::FormCreate()
{
    Download1->setEnabled(true);
    CopyFlash1->setEnabled(false);
    Download2->setEnabled(true);
    CopyFlash2->setEnabled(false);
    StopTransfer1->setEnabled(false);

    SaveFolder.clear();

    ProgressBar = new QProgressBar(StatusBar1);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setAccessibleName(QStringLiteral("Progress"));
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);
    StatusBar1Resize();

    WireWebPage();
    RefreshAddressList();
    InstallHelpHook();
    LoadScanSettings();
}

void TMainFrm::FormActivate()
{
    LastWidth = frameGeometry().width();
    if (!activatedOnce_) {
        activatedOnce_ = true;
        // Only the first activation clears Busy: a later one must not let a
        // second worker start or the window close while one still runs.
        Busy = false;
    }
}

void TMainFrm::FormResize()
{
    const int width = frameGeometry().width();
    const int delta = width - LastWidth;
    LastWidth = width;
    if (!activatedOnce_)
        return;  // laid out before it is first shown: the design positions hold
    for (TLbSpeedButton* button : {LbSpeedButton1, LbSpeedButton2, LbSpeedButton3, LbSpeedButton6})
        button->move(button->x() + delta, button->y());
    UrlComBox->resize(UrlComBox->width() + delta, UrlComBox->height());
}

void TMainFrm::StatusBar1Resize()
{
    int width0 = StatusBar1->width();
    for (int i = 1; i < StatusBar1->PanelCount(); ++i)
        width0 -= StatusBar1->PanelWidth(i);
    StatusBar1->SetPanelWidth(0, width0);
    if (ProgressBar == nullptr)
        return;
    const QRect rect = StatusBar1->PanelRect(0);
    ProgressBar->setGeometry(StatusBar1->PanelWidth(0) + rect.left(), rect.top(), StatusBar1->PanelWidth(1),
                             rect.bottom() + 1 - rect.top());
}

void TMainFrm::PageControl1Change()
{
    webPage_->SetInView(ActivePage() == kWebPage);
    if (ActivePage() == kWebPage) {
        Download1->setEnabled(true);
        Download2->setEnabled(true);
        CopyFlash1->setEnabled(false);
        CopyFlash2->setEnabled(false);
        LbSpeedButton3->SetCaption(QStringLiteral("Download Flash"));
    } else if (ActivePage() == kCachePage) {
        Download1->setEnabled(false);
        Download2->setEnabled(false);
        CopyFlash1->setEnabled(true);
        CopyFlash2->setEnabled(true);
        LbSpeedButton3->SetCaption(QStringLiteral("Copy Flash To"));
    }
    cachePage_->SetPageShown(ActivePage() == kCachePage, Busy);
}

bool TMainFrm::FormCloseQuery()
{
    return !Busy;
}

void TMainFrm::FormClose()
{
    // Exit ends every read, so the window ends without waiting for servers.
    // The lists let their rows go; the views stay until the window does.
    webPage_->Close();
    cachePage_->ForgetRows();
    HtmlHelp(0, nullptr, HH_CLOSE_ALL, 0);
    closed_ = true;
}

void TMainFrm::Exit1Click()
{
    close();
}

int TMainFrm::ActivePage() const
{
    return PageControl1->currentIndex();
}

void TMainFrm::SetStatusText(const std::string& text)
{
    StatusBar1->SetPanelText(0, QString::fromStdString(text));
}

void TMainFrm::SetProgress(int percent)
{
    ProgressBar->setValue(percent);
}

void TMainFrm::ResetStatus()
{
    SetProgress(0);
    SetStatusText("Done");
    Busy = false;
}

bool TMainFrm::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QMainWindow::event(event);
}

void TMainFrm::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TMainFrm::closeEvent(QCloseEvent* event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    if (!closed_)
        FormClose();
    event->accept();
}

bool TMainFrm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && watched == UrlComBox->lineEdit()) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        UrlComBoxKeyDown(key);
        // Enter is the GO command here; the combo box must not act on it too.
        return key == Qt::Key_Return || key == Qt::Key_Enter;
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace tessaro
