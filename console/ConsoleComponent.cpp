#include "ConsoleComponent.h"

#include "DeviceReport.h"
#include "LibraryList.h"
#include "ResourceProvider.h"
#include "RouteMessage.h"
#include "StatusObject.h"
#include "VendorLink.h"
#include "common/JsonLimits.h"
#include "common/JsonReader.h"
#include "engine/DeviceLists.h"
#include "engine/StateParser.h"

namespace brindle
{

namespace
{
    constexpr int meterIntervalMs = 100;

    // A string, number or boolean gives its text, anything else (an object too) the empty text.
    juce::String textOf (const juce::var& object, const juce::Identifier& key)
    {
        if (auto* members = object.getDynamicObject())
            return readMemberText (*members, key);

        return {};
    }

    AudioRoute withFirstDeviceTypeIfNone (AudioRoute route, juce::AudioDeviceManager& manager)
    {
        if (route.deviceType.isEmpty())
        {
            const auto types = getDeviceTypeNames (manager);
            if (! types.isEmpty())
                route.deviceType = types[0];
        }
        return route;
    }
}

ConsoleComponent::ConsoleComponent (AudioRouter& routerToUse, DuzezavureSettings& settingsToUse, ConsoleServices servicesToUse)
    : router (routerToUse),
      settings (settingsToUse),
      services (std::move (servicesToUse)),
      webView (makeWebViewOptions())
{
    addAndMakeVisible (webView);

    // The stored route stays as it is; only the lists the page browses start from a type.
    shownRoute = withFirstDeviceTypeIfNone (settings.getRouting(), router.getDeviceManager());

    // The page knows from the query that it is the system-wide console; the resource
    // provider ignores every query.
    webView.goToURL (WebBrowserComponent::getResourceProviderRoot() + "?host=duzezavure");
    startTimer (meterIntervalMs);
}

ConsoleComponent::~ConsoleComponent()
{
    stopTimer();
}

WebBrowserComponent::Options ConsoleComponent::makeWebViewOptions()
{
    using Handler = void (ConsoleComponent::*) (const juce::var&);
    const std::pair<const char*, Handler> listeners[] = {
        { "state", &ConsoleComponent::handleStateEvent },
        { "route", &ConsoleComponent::handleRouteEvent },
        { "rescan", &ConsoleComponent::handleRescanEvent },
        { "library", &ConsoleComponent::handleLibraryEvent },
        { "shell", &ConsoleComponent::handleShellEvent },
        { "ready", &ConsoleComponent::handleReadyEvent },
    };

    auto options = WebBrowserComponent::Options()
                       .withResourceProvider ([] (const juce::String& path) { return provideResource (path); });

    for (const auto& [eventId, handler] : listeners)
        options = options.withEventListener (eventId, [this, h = handler] (juce::var payload) { (this->*h) (payload); });

    if (services.webBackend)
        options = options.withBackend (services.webBackend);

    return options;
}

//==============================================================================
void ConsoleComponent::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colour (backgroundColour));
}

void ConsoleComponent::resized()
{
    webView.setBounds (getLocalBounds());
}

void ConsoleComponent::timerCallback()
{
    if (! pageReady || ! webView.isBrowserShowing())
        return;

    webView.emitEventIfBrowserIsVisible ("meter", makeStatusObject (router.getStatus()));
}

void ConsoleComponent::sendDevices()
{
    if (! webView.isBrowserShowing())
        return;

    const auto selected = router.getCurrentRoute();
    const auto status = router.getStatus();
    webView.emitEventIfBrowserIsVisible ("devices", makeDeviceReport (router, status, selected, shownRoute));
}

void ConsoleComponent::sendLibrary()
{
    if (! webView.isBrowserShowing())
        return;

    webView.emitEventIfBrowserIsVisible ("library", makeLibraryList (settings));
}

void ConsoleComponent::sendRestore (const juce::String& stateJson)
{
    webView.emitEventIfBrowserIsVisible ("restore", stateJson);
}

//==============================================================================
void ConsoleComponent::handleReadyEvent (const juce::var&)
{
    pageReady = true;

    if (const auto stored = settings.getStateJson(); stored.isNotEmpty())
        sendRestore (stored);

    sendDevices();
    sendLibrary();
}

void ConsoleComponent::handleStateEvent (const juce::var& payload)
{
    const auto text = payload.toString();

    // Too large to be a state: malformed, like text that is not one.
    if (text.getNumBytesAsUTF8() > maxStateJsonBytes)
        return;

    const auto parsed = CorrectionState::fromJson (text);

    // So is a state the settings file has no room for: the audio keeps the stored one.
    if (! parsed.ok || ! settings.setStateJson (text))
        return;

    router.applyState (parsed.state);
    settings.save();
}

void ConsoleComponent::handleRouteEvent (const juce::var& payload)
{
    const auto parsed = parseRoute (payload);

    if (parsed.ok)
        applyRoute (parsed.route);
    else
        sendDevices();
}

void ConsoleComponent::applyRoute (const AudioRoute& route)
{
    // A route the settings file has no room for is not opened either, as a malformed one.
    if (! settings.setRouting (route))
    {
        sendDevices();
        return;
    }

    // A route that fails to open stays the route in force: it is stored and tried again at the
    // next start, and the page reads the failure from the status.
    router.setRoute (route);

    if (services.routeApplied)
        services.routeApplied();

    shownRoute = router.getCurrentRoute();
    settings.save();

    applyStoredState();
    sendDevices();
}

void ConsoleComponent::applyStoredState()
{
    const auto stored = settings.getStateJson();

    if (stored.isEmpty())
        return;

    if (const auto parsed = CorrectionState::fromJson (stored); parsed.ok)
        router.applyState (parsed.state);
}

void ConsoleComponent::handleRescanEvent (const juce::var& payload)
{
    if (payload.isObject())
    {
        if (const auto type = textOf (payload, "deviceType"); type.isNotEmpty())
            shownRoute.deviceType = type;

        shownRoute.inputDevice = {};
        shownRoute.outputDevice = {};
    }

    sendDevices();
}

void ConsoleComponent::handleLibraryEvent (const juce::var& payload)
{
    if (! payload.isObject())
        return;

    const auto action = textOf (payload, "action");
    const auto name = textOf (payload, "name");

    if (action == "save")
    {
        // The room saved is the state in force, never what the payload carries. A room the
        // settings file has no room for is not stored, and the list says so.
        settings.putLibraryEntry (name, settings.getStateJson());
        settings.save();
        sendLibrary();
    }
    else if (action == "delete")
    {
        settings.removeLibraryEntry (name);
        settings.save();
        sendLibrary();
    }
    else if (action == "load")
    {
        const auto entry = settings.getLibraryEntryJson (name);

        if (entry.isEmpty())
            return;

        const auto parsed = CorrectionState::fromJson (entry);

        if (! parsed.ok || ! settings.setStateJson (entry))
            return;

        router.applyState (parsed.state);
        settings.save();
        sendRestore (entry);
    }
}

void ConsoleComponent::handleShellEvent (const juce::var& payload)
{
    if (! payload.isObject())
        return;

    const auto action = textOf (payload, "action");

    if (action == "soundsettings")
    {
        if (services.soundSettings != nullptr)
            services.soundSettings->open();
    }
    else if (action == "openurl")
    {
        const auto url = textOf (payload, "url");

        if (isAllowedVendorLink (url) && services.openInBrowser)
            services.openInBrowser (url);
    }
}

} // namespace brindle
