#include "WebViewShutdown.h"

#include "GtkThread.h"
#include "WebKitGtkContext.h"

namespace brindle
{

void shutDownWebViews()
{
    GtkThread::stop ([] { WebKitGtkContext::closeAll(); });
}

} // namespace brindle
