#pragma once

#include "WebResource.h"

#include <optional>

typedef struct _WebKitURISchemeRequest WebKitURISchemeRequest;

namespace brindle
{

/** One request for an address under the root, held until it is answered. It is always
    finished: with the resource, or with an error when there is none, and with an error too
    when it is dropped unanswered (its host gone, the message loop ended), so that a load never
    waits for it.

    Threading: made and finished on the GTK thread; may be dropped on any thread (the error
    then goes to the GTK thread, unless that has ended, when the process is ending too). */
class WebKitGtkSchemeRequest
{
public:
    explicit WebKitGtkSchemeRequest (WebKitURISchemeRequest* request);
    ~WebKitGtkSchemeRequest();

    /** [GTK thread] Answers with `resource`, or with an error when there is none. */
    void finish (const std::optional<WebResource>& resource);

    /** [GTK thread] Answers a request that is refused outright. */
    static void finishWithError (WebKitURISchemeRequest* request);

private:
    WebKitURISchemeRequest* request;   // one reference of ours until finished

    JUCE_DECLARE_NON_COPYABLE (WebKitGtkSchemeRequest)
};

} // namespace brindle
