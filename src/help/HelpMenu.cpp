#include "help/HelpMenu.h"

#include <QDir>

#include "Version.h"
#include "host/Host.h"
#include "base/RuntimeError.h"

namespace brimlet {

HelpMenu::HelpMenu(Host& host, const QString& folder) : host_(host), folder_(folder) {}

HelpMenu::~HelpMenu() = default;

void HelpMenu::showAbout() {
    host_.beep();
    host_.msgBox(
        QStringLiteral("Brimlet %1\n\n"
                       "Brimlet keeps every text and picture you copy as a numbered "
                       "file, so nothing you copy is ever lost.\n\n"
                       "Its files are kept in the folder it was started from:\n%2")
            .arg(QString::fromLatin1(kVersion),
                 QDir::toNativeSeparators(QDir(folder_).absolutePath() + QLatin1Char('/'))),
        MsgInformation, QStringLiteral("About Brimlet"));
}

// The document is written under its own name into a folder private to this
// run and handed to the desktop's opener for its type.
void HelpMenu::open(const EmbeddedDocument& document) {
    if (!opened_ || !opened_->isValid()) {
        opened_ = std::make_unique<QTemporaryDir>();
        if (!opened_->isValid()) {
            throw RuntimeError::pathFileAccess(opened_->path(), opened_->errorString());
        }
    }
    host_.openDocument(document.writeTo(opened_->path()));
}

void HelpMenu::openReadme() {
    open(readme_);
}

void HelpMenu::openContactPage() {
    open(contact_);
}

void HelpMenu::openDonatePage(int dollars) {
    open(dollars == 1 ? donateOne_ : dollars == 2 ? donateTwo_ : donateFive_);
}

}  // namespace brimlet
