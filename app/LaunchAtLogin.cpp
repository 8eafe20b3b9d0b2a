#include "LaunchAtLogin.h"

#include "platform/XdgAutostartEntry.h"
#include "platform/RunningExecutable.h"
#include "platform/XdgConfigFolder.h"

namespace brindle
{

LoginItem& systemLoginItem()
{
    static XdgConfigFolder configFolder;
    static XdgAutostartEntry item (configFolder);
    return item;
}

bool isLaunchAtLoginEnabled (const LoginItem& item)
{
    return item.isEnabled();
}

bool setLaunchAtLogin (bool enable, LoginItem& item)
{
    if (! enable)
        return item.disable();

    return item.enable (runningExecutable());
}

} // namespace brindle
