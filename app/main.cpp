#include "app/MirkMainForm.h"
#include "app/TessaroApplication.h"
#include "dialogs/BrowseFolderDlg.h"
#include "help/HelpFile.h"
#include "platform/core/AppPaths.h"
#include "platform/player/PlayerScheme.h"

int main(int argc, char** argv)
{
    tessaro::RegisterPlayerScheme();  // before the application object
    tessaro::TessaroApplication app(argc, argv);
    tessaro::SetHelpFile((tessaro::ProgramFolder() / "help.chm").string());
    tessaro::TMainFrm MainFrm;
    // Created once and kept hidden; it remembers the last choice between showings.
    tessaro::TBrowseFolderDialog BrowseFolderDialog(&MainFrm);
    MainFrm.SetBrowseFolderDialog(&BrowseFolderDialog);
    MainFrm.show();
    return app.exec();
}
