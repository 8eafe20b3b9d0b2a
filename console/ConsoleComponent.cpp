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
#include "engine/StateParseResult.h"

#include <iostream>

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
    ++pageReadyCount;

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

    adoptState (text, StateOrigin::newText);
}

bool ConsoleComponent::adoptState (const juce::String& text, StateOrigin origin)
{
    const auto parsed = CorrectionState::fromJson (text);

    if (! parsed.ok)
        return false;

    // A state the settings file has no room for is refused as a malformed one: the audio
    // keeps the stored one. It is stored before it is applied so that a refusal changes nothing.
    if (origin == StateOrigin::newText && ! settings.setStateJson (text))
        return false;

    router.applyState (parsed.state);

    if (origin == StateOrigin::newText)
        saveSettings();

    return true;
}

void ConsoleComponent::saveSettings()
{
    const auto saved = settings.save();

    if (saved.failed() && ! lastSaveFailed)
        std::cerr << "settings not saved: " << saved.getErrorMessage() << std::endl;

    lastSaveFailed = saved.failed();
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
    saveSettings();

    if (const auto stored = settings.getStateJson(); stored.isNotEmpty())
        adoptState (stored, StateOrigin::stored);

    sendDevices();
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
        saveSettings();
        sendLibrary();
    }
    else if (action == "delete")
    {
        settings.removeLibraryEntry (name);
        saveSettings();
        sendLibrary();
    }
    else if (action == "load")
    {
        const auto entry = settings.getLibraryEntryJson (name);

        if (entry.isEmpty())
            return;

        if (adoptState (entry, StateOrigin::newText))
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
