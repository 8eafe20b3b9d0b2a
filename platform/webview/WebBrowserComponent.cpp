#include "WebBrowserComponent.h"

#include "PageMessage.h"
#include "ResourceProviderRoot.h"
#include "WebViewHelperBackend.h"

#include "common/JsonWriter.h"

namespace brindle
{

WebBrowserComponent::Options WebBrowserComponent::Options::withEventListener (const juce::Identifier& eventId, EventListener listener) const
{
    auto copy = *this;
    copy.listeners.emplace_back (eventId.toString(), std::move (listener));
    return copy;
}

WebBrowserComponent::Options WebBrowserComponent::Options::withResourceProvider (ResourceProvider provider) const
{
    auto copy = *this;
    copy.resourceProvider = std::move (provider);
    return copy;
}

WebBrowserComponent::Options WebBrowserComponent::Options::withBackend (WebBrowserBackendFactory factory) const
{
    auto copy = *this;
    copy.backendFactory = std::move (factory);
    return copy;
}

WebBrowserComponent::WebBrowserComponent (const Options& optionsToUse)
    : options (optionsToUse)
{
    setOpaque (false);

    auto& host = static_cast<WebBrowserBackend::Host&> (*this);
    backend = options.backendFactory ? options.backendFactory (host) : std::make_unique<WebViewHelperBackend> (host, WebViewHelperBackend::helperBesideThisProgram());
}

WebBrowserComponent::~WebBrowserComponent()
{
    // The back end takes its child away and closes the page while the component is whole.
    backend.reset();
}

juce::String WebBrowserComponent::getResourceProviderRoot()
{
    return brindle::getResourceProviderRoot();
}

void WebBrowserComponent::goToURL (const juce::String& url)
{
    backend->goToURL (url);
}

void WebBrowserComponent::emitEventIfBrowserIsVisible (const juce::Identifier& eventId, const juce::var& payload)
{
    if (backend->isReadyForEvents())
        backend->sendEvent (eventId.toString(), toJson (payload, JsonLayout::singleLine));
}

void WebBrowserComponent::startEngineAgainIfStopped()
{
    backend->startAgainNow();
}

bool WebBrowserComponent::isBrowserShowing() const
{
    return backend->isBrowserShowing();
}

void WebBrowserComponent::resized()
{
    backend->resized();
}

juce::Component& WebBrowserComponent::getComponent()
{
    return *this;
}

void WebBrowserComponent::pageMessageArrived (const juce::String& text)
{
    auto event = parsePageMessage (text);

    if (! event.has_value())
        return;

    // Ids are compared as text: an id the page makes up never enters the identifier pool.
    for (const auto& [eventId, listener] : options.listeners)
        if (eventId == event->eventId && listener)
            listener (event->payload);
}

std::optional<WebResource> WebBrowserComponent::resourceRequested (const juce::String& path)
{
    if (! options.resourceProvider)
        return std::nullopt;

    return options.resourceProvider (path);
}

} // namespace brindle
