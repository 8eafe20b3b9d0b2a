#pragma once

#include "engine/AudioRouter.h"

#include <juce_core/juce_core.h>

namespace brindle
{

/** The "devices" message: what the routing panel can offer and what runs now. Keys in this
    order:
    - "types": every device type, in the device manager's order;
    - "inputs", "outputs", "loopbackInputs": the devices of the shown route's device type
      (its type of that name, else the first type);
    - "platform": always "windows", the only platform the page's setup card knows;
    - "canSetDefaultOutput": always false;
    - "rates", "bufferSizes": what the shown route's output device offers (empty when the type
      has no such device);
    - "selected": the route in force, with the six route keys in their order;
    - "status": the status object (StatusObject.h) of `status`;
    - "sampleRate": the status's output rate while above 0, else the selected route's rate.

    The shown route is what the user browses, the selected route what the router holds; they
    differ while another device type is looked at. Nothing that cannot be had stops the
    report: it becomes an empty array.

    Building it is costly: four scans of the shown type and a temporary device, created to ask
    what the output offers and destroyed without being opened. Neither route is changed,
    and no device the router holds is touched.

    Threading: message thread (device scans, and the router's device manager). */
juce::var makeDeviceReport (AudioRouter& router, const StreamStatus& status,
                            const AudioRoute& selected, const AudioRoute& shown);

} // namespace brindle
