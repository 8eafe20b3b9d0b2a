// What a page message full of member names costs the message thread, from the text the page's
// bridge posts to the end of its handling (parse, event listener, answer), on a console over a
// web view without a web engine. Every name becomes a juce::Identifier in the framework's
// sorted pool, and an object finds its members one by one, so such a message once cost time
// in the square of its names, and the names of one message made the next ones cost more for
// half a minute (until the framework cleared its pool). Each message is under the page
// message's 1 MiB limit and has names of its own (names already pooled cost less); each kind
// is sent five times, the last one 300 times in a row.
// Goal: the 60 000-name message handled (here refused) in at most 50 ms.
#include "FakeApplicationDataFolder.h"
#include "FakeWebBrowserBackend.h"

#include "console/ConsoleComponent.h"
#include "platform/webview/PageMessage.h"
#include "platform/simulation/SimulatedDeviceManager.h"
#include "platform/simulation/SimulatedSoundCard.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace
{
    using namespace brindle;
    using Clock = std::chrono::steady_clock;

    constexpr char digits[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

    /** Short names: two base-62 digits of the message's own, then three of the number. */
    std::string nameOf (int run, int number)
    {
        return { digits[run / 62 % 62], digits[run % 62], digits[number / (62 * 62) % 62], digits[number / 62 % 62], digits[number % 62] };
    }

    /** A "route" message whose payload holds `names` members in objects of `perObject`, member
        i named by `i % distinct`. */
    std::string messageOf (int names, int perObject, int distinct, int run)
    {
        std::string members;

        for (int i = 0; i < names; ++i)
        {
            members += i == 0 ? "{" : (i % perObject == 0 ? "},{" : ",");
            members += "\"" + nameOf (run, i % distinct) + "\":0";
        }

        return "{\"eventId\":\"route\",\"payload\":[" + members + "}]}";
    }

    struct Kind
    {
        const char* what;
        int names, perObject, distinct, messages;
    };

    void run()
    {
        const auto where = juce::File::getCurrentWorkingDirectory().getChildFile ("page-message-bench");
        where.deleteRecursively();
        where.createDirectory();

        FakeApplicationDataFolder folder (where);
        DuzezavureSettings settings (folder);
        settings.load();
        auto audio = SimulatedSoundCard::create (SimulatedClock::Mode::manual);
        AudioRouter router (std::make_unique<SimulatedDeviceManager> (audio));
        FakeWebBrowserBackend* view = nullptr;
        ConsoleServices services;
        services.webBackend = FakeWebBrowserBackend::factory (view);
        ConsoleComponent console (router, settings, std::move (services));

        const Kind kinds[] = {
            { "60 000 names in one object (goal 50 ms)", 60000, 60000, 60000, 5 },
            { "90 000 names in one object", 90000, 90000, 90000, 5 },
            { "60 000 names in objects of 100", 60000, 100, 60000, 5 },
            { "90 000 members of 1000 names, one object", 90000, 90000, 1000, 5 },
            { "the same, 300 messages in a row", 60000, 100, 60000, 300 },
        };

        int run = 0;

        for (const auto& kind : kinds)
        {
            std::vector<double> millis;
            size_t bytes = 0;

            for (int repeat = 0; repeat < kind.messages; ++repeat)
            {
                const auto text = messageOf (kind.names, kind.perObject, kind.distinct, run++);
                const auto message = juce::String::fromUTF8 (text.data(), (int) text.size());
                bytes = text.size();

                if (bytes > maxPageMessageBytes)
                    std::printf ("(%s: %zu bytes, over the page message's limit)\n", kind.what, bytes);

                const auto start = Clock::now();
                view->postPageMessage (message);
                millis.push_back (std::chrono::duration<double, std::milli> (Clock::now() - start).count());
            }

            std::sort (millis.begin(), millis.end());
            std::printf ("%-44s %7zu bytes   median %8.2f ms   max %8.2f ms\n", kind.what, bytes, millis[millis.size() / 2], millis.back());
        }

        where.deleteRecursively();
    }
}

int main()
{
    juce::ScopedJuceInitialiser_GUI juce;
    run();
    return 0;
}
