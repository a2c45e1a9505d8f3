#pragma once

// The About window: the program's picture, name, version, maker and a link to the help
// pages in the desktop's web browser.

#include <QUrl>
#include <functional>

#include "forms/FormSupport.h"

class QFrame;
class QLabel;
class QPushButton;
class QWidget;

class TFormOProgramu : public kvforms::FixedDialog {
    Q_OBJECT

  public:
    // Opens an address with the desktop's own program; false when it could not.
    using LinkOpener = std::function<bool(const QUrl&)>;

    // Without an opener the web browser opens it (kv::platform::OpenInBrowser).
    explicit TFormOProgramu(QWidget* parent = nullptr, LinkOpener opener = {});
    ~TFormOProgramu() override;

    void FormCreate();
    void Label5Click();
    void Button1Click();

    // The address behind the link: the start page of the help as a file in the program
    // folder.
    QUrl LinkAddress() const;

    QFrame* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QFrame* Bevel1 = nullptr;
    QPushButton* Button1 = nullptr;

  private:
    void BuildControls();

    LinkOpener opener_;
};
