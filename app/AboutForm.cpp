#include "app/AboutForm.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>

#include "app/HelpPages.h"
#include "core/Version.h"
#include "platform/HelpViewer.h"

namespace {

constexpr int kClientWidth = 349;
constexpr int kClientHeight = 198;
constexpr int kTextLeft = 128;
constexpr int kTextWidth = kClientWidth - kTextLeft - 8;

// A label that acts as a link: a click, or Enter or Space once it has the focus (the
// link can be reached with Tab after "Ok", so it does not need a mouse).
class LinkLabel : public QLabel {
  public:
    LinkLabel(const QString& text, QWidget* parent, std::function<void()> activated)
        : QLabel(text, parent), activated_(std::move(activated)) {}

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
            activated_();
            return;
        }
        QLabel::mouseReleaseEvent(event);
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
            event->key() == Qt::Key_Space) {
            activated_();
            return;
        }
        QLabel::keyPressEvent(event);
    }

  private:
    std::function<void()> activated_;
};

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int top, int height) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(kTextLeft, top, kTextWidth, height);
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

TFormOProgramu::TFormOProgramu(QWidget* parent, LinkOpener opener)
    : FixedDialog("FormOProgramu", QStringLiteral(" O programu"),
                  QSize(kClientWidth, kClientHeight), parent),
      opener_(opener ? std::move(opener) : LinkOpener([](const QUrl& url) {
          return kv::platform::OpenInBrowser(
              kv::platform::FileUrl(url.toLocalFile().toStdString()));
      })) {
    BuildControls();
    FormCreate();
}

TFormOProgramu::~TFormOProgramu() = default;

void TFormOProgramu::BuildControls() {
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(8, 8, 112, 137);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(1);
    Panel1->setAutoFillBackground(true);
    QPalette white = Panel1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(white);

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(4, 4, 104, 129);
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setPixmap(QPixmap(QStringLiteral(":/kv3380u/about.png")));
    Image1->setAccessibleName(QStringLiteral("Obrázek programu: modul KV-3380U"));

    Label1 = MakeLabel(this, "Label1", QStringLiteral("W_KV3380U"), 12, 30);
    QFont large = Label1->font();
    large.setBold(true);
    large.setPointSizeF(large.pointSizeF() * 1.6);
    Label1->setFont(large);

    Label2 = MakeLabel(this, "Label2", QStringLiteral("Verze  "), 44, 20);

    Label3 =
        MakeLabel(this, "Label3",
                  QStringLiteral("Konfigurační nástroj komunikačního modulu KV-3380U"), 68, 28);
    Label4 = MakeLabel(this, "Label4", QStringLiteral("© Vývojový tým W_KV3380U"), 98, 14);
    QFont small = Label3->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    Label3->setFont(small);
    Label3->setWordWrap(true);
    Label4->setFont(small);

    Label5 = new LinkLabel(QStringLiteral("Nápověda programu v prohlížeči"), this,
                           [this] { Label5Click(); });
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setGeometry(kTextLeft, 120, kTextWidth, 18);
    Label5->setTextFormat(Qt::PlainText);
    QFont underlined = Label5->font();
    underlined.setUnderline(true);
    Label5->setFont(underlined);
    QPalette blue = Label5->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label5->setPalette(blue);
    Label5->setCursor(Qt::PointingHandCursor);
    Label5->setFocusPolicy(Qt::TabFocus);
    Label5->setAccessibleName(Label5->text());
    Label5->setAccessibleDescription(LinkAddress().toString());

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setGeometry(8, 152, kClientWidth - 16, 2);
    Bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);

    Button1 = new QPushButton(QStringLiteral("Ok"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry((kClientWidth - 75) / 2, 164, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &TFormOProgramu::Button1Click);

    // "Ok" is first in the tab order and has the focus when the window opens.
    setTabOrder(Button1, Label5);
    Button1->setFocus();
}

void TFormOProgramu::FormCreate() {
    Label2->setText(Label2->text() + QString::fromLatin1(kv::kProgramVersion));
    Label2->setAccessibleName(Label2->text());
}

QUrl TFormOProgramu::LinkAddress() const {
    return QUrl::fromLocalFile(QString::fromStdString(kv::HelpStartPageFile()));
}

void TFormOProgramu::Label5Click() {
    // A desktop without a browser simply opens nothing.
    opener_(LinkAddress());
}

void TFormOProgramu::Button1Click() {
    accept();
}
