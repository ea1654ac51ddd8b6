#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

#include "help/EmbeddedDocument.h"

namespace brimlet {

class Host;

// The "Help" and "Donate" menus: the About message, and the documents the
// program carries, opened with the desktop's program for their type.
class HelpMenu {
  public:
    // `folder` is where the captures are kept; About names it.
    HelpMenu(Host& host, const QString& folder);
    ~HelpMenu();

    void showAbout();
    void openReadme();
    void openContactPage();
    // 1, 2 or 5 dollars.
    void openDonatePage(int dollars);

    const EmbeddedDocument& readme() const { return readme_; }

  private:
    void open(const EmbeddedDocument& document);

    Host& host_;
    QString folder_;
    EmbeddedDocument readme_{QStringLiteral("ReadmeHelp.txt")};
    EmbeddedDocument contact_{QStringLiteral("contact.html")};
    EmbeddedDocument donate_{QStringLiteral("donate.html")};  // carried, opened by no item
    EmbeddedDocument donateOne_{QStringLiteral("donate1.html")};
    EmbeddedDocument donateTwo_{QStringLiteral("donate2.html")};
    EmbeddedDocument donateFive_{QStringLiteral("donate5.html")};
    std::unique_ptr<QTemporaryDir> opened_;  // private folder for opened documents
};

}  // namespace brimlet
