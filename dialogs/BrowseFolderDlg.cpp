#include "dialogs/BrowseFolderDlg.h"

#include "platform/widgets/DesignScale.h"
#include "platform/widgets/ShellTreeView.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tessaro {

namespace {

void Place(QWidget* control, const char* name, int left, int top, int width, int height)
{
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(Scaled(left), Scaled(top), Scaled(width), Scaled(height));
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, int left, int top)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(Scaled(left), Scaled(top));
    label->adjustSize();  // sized to its text
    return label;
}

}  // namespace

TBrowseFolderDialog::TBrowseFolderDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("BrowseFolderDialog"));
    setWindowTitle(QStringLiteral("Browse For Folder"));
    setModal(true);
    QFont designFont = font();
    designFont.setPixelSize(Scaled(13));
    setFont(designFont);

    ShellTreeView1 = new TShellTreeView(this);
    Place(ShellTreeView1, "ShellTreeView1", 8, 64, 385, 217);
    ShellTreeView1->setAccessibleName(QStringLiteral("Folders"));
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Place(Button1, "Button1", 200, 336, 90, 28);
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    Place(Button2, "Button2", 304, 336, 90, 28);
    Edit1 = new QLineEdit(this);
    Place(Edit1, "Edit1", 64, 292, 329, 24);
    Edit1->setReadOnly(true);
    Label2 = MakeLabel(this, "Label2", QStringLiteral("Choose Directory to Save Flash"), 8, 16);
    Label1 = MakeLabel(this, "Label1", QStringLiteral("Folder:"), 8, 292);
    Label1->setBuddy(Edit1);

    setTabOrder(ShellTreeView1, Button1);
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, Edit1);

    setFixedSize(Scaled(406), Scaled(382));
    move(Scaled(302), Scaled(201));

    connect(ShellTreeView1, &TShellTreeView::Change, this, &TBrowseFolderDialog::ShellTreeView1Change);
    connect(Button1, &QPushButton::clicked, this, [this] {
        Button1Click();
        accept();
    });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

TBrowseFolderDialog::~TBrowseFolderDialog() = default;

void TBrowseFolderDialog::ShellTreeView1Change()
{
    Edit1->setText(ShellTreeView1->SelectedPath());
}

void TBrowseFolderDialog::Button1Click()
{
    // Only a folder path counts; the virtual root keeps the earlier choice.
    const std::string text = Edit1->text().toStdString();
    if (!text.empty() && text.front() == '/')
        ChosenFolder = text.back() == '/' ? text : text + "/";
}

}  // namespace tessaro
