#include "WebKitGtkSchemeRequest.h"

#include "GtkThread.h"

#include <webkit2/webkit2.h>

namespace brindle
{

WebKitGtkSchemeRequest::WebKitGtkSchemeRequest (WebKitURISchemeRequest* requestToHold)
    : request (WEBKIT_URI_SCHEME_REQUEST (g_object_ref (requestToHold)))
{
}

WebKitGtkSchemeRequest::~WebKitGtkSchemeRequest()
{
    if (request == nullptr)
        return;

    if (GtkThread::isCurrentThread())
    {
        finish (std::nullopt);
        return;
    }

    GtkThread::post ([unanswered = request]
    {
        finishWithError (unanswered);
        g_object_unref (unanswered);
    });
}

void WebKitGtkSchemeRequest::finish (const std::optional<WebResource>& resource)
{
    if (request == nullptr)
        return;

    if (! resource.has_value())
    {
        finishWithError (request);
    }
    else
    {
        const auto mimeType = resource->mimeType.isNotEmpty() ? resource->mimeType : juce::String ("application/octet-stream");
        auto* bytes = g_bytes_new (resource->data.data(), resource->data.size());
        auto* stream = g_memory_input_stream_new_from_bytes (bytes);
        auto* response = webkit_uri_scheme_response_new (stream, (gint64) resource->data.size());

        // The content type goes into explicit headers as well: set only as the response's
        // type, the page's fetch() sees no Content-Type at all.
        auto* headers = soup_message_headers_new (SOUP_MESSAGE_HEADERS_RESPONSE);
        soup_message_headers_replace (headers, "Content-Type", mimeType.toRawUTF8());
        webkit_uri_scheme_response_set_status (response, 200, "OK");
        webkit_uri_scheme_response_set_content_type (response, mimeType.toRawUTF8());
        webkit_uri_scheme_response_set_http_headers (response, headers);   // takes them

        webkit_uri_scheme_request_finish_with_response (request, response);

        g_object_unref (response);
        g_object_unref (stream);
        g_bytes_unref (bytes);
    }

    g_object_unref (request);
    request = nullptr;
}

void WebKitGtkSchemeRequest::finishWithError (WebKitURISchemeRequest* refused)
{
    auto* error = g_error_new_literal (G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "No such resource");
    webkit_uri_scheme_request_finish_error (refused, error);
    g_error_free (error);
}

} // namespace brindle
