#include "app/MirkMainForm.h"
#include "app/TessaroApplication.h"

int main(int argc, char** argv)
{
    tessaro::TessaroApplication app(argc, argv);
    tessaro::TMainFrm MainFrm;
    MainFrm.show();
    return app.exec();
}
