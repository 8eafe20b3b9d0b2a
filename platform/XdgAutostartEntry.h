#pragma once

#include "ApplicationDataFolder.h"
#include "LoginItem.h"

namespace brindle
{

/** The login item on a freedesktop.org desktop: the entry "TonwellDuzezavure.desktop" in the
    "autostart" folder of the XDG configuration folder, whose Exec line holds the quoted path of
    the executable. The path is quoted and escaped by the desktop-entry rules, so blanks,
    quotation marks, dollar signs, backslashes and percent signs in it reach the session's
    launcher unchanged and are never read as shell syntax or field codes.

    Threading: message thread. The folder layer is read at each call and must outlive this. */
class XdgAutostartEntry final : public LoginItem
{
public:
    static constexpr const char* entryFileName = "TonwellDuzezavure.desktop";

    explicit XdgAutostartEntry (const ApplicationDataFolder& configFolder);

    bool isEnabled() const override;
    bool enable (const juce::File& executable) override;
    bool disable() override;

private:
    /** Where the entry lives; nothing when there is no configuration folder. */
    std::optional<juce::File> entryFile() const;

    const ApplicationDataFolder& configFolder;
};

} // namespace brindle
