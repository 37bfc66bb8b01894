// The scan of a loaded page for Flash movies.

#include "app/MirkMainForm.h"

namespace tessaro {

void TMainFrm::WebBrowser1DocumentComplete()
{
}

}  // namespace tessaro
