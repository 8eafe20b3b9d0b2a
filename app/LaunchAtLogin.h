#pragma once

#include "platform/LoginItem.h"

namespace brindle
{

/** [message thread] The login item the program ships with (an XDG autostart entry in the
    user's configuration folder); it lives as long as the program. */
LoginItem& systemLoginItem();

/** [message thread] Whether the login item exists, whoever wrote it. */
bool isLaunchAtLoginEnabled (const LoginItem& item = systemLoginItem());

/** [message thread] Enabling makes the login item start the running executable, by its full
    path, without arguments, and returns whether that was written. Disabling removes the item
    and returns whether none is left. Tests pass a fake item. */
bool setLaunchAtLogin (bool enable, LoginItem& item = systemLoginItem());

} // namespace brindle
