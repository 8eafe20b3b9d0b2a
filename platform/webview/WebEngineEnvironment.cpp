#include "WebEngineEnvironment.h"

#include "WebViewAutomation.h"

#include <cstdlib>

namespace brindle
{

void prepareWebEngineEnvironment()
{
    setenv ("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 1);
    WebViewAutomation::prepare();
}

} // namespace brindle
