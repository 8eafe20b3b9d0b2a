#include "UserSocketSingleInstance.h"

#include "PrivateFolder.h"

#include <juce_events/juce_events.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace brindle
{

namespace
{
    constexpr const char* folderName = "tonwell-duzezavure";
    constexpr int largestMessage = 64 * 1024;

    bool socketAddressFor (const juce::File& socketFile, sockaddr_un& address)
    {
        const auto path = socketFile.getFullPathName().toStdString();
        std::memset (&address, 0, sizeof address);
        address.sun_family = AF_UNIX;

        if (path.size() >= sizeof address.sun_path)
            return false;

        std::memcpy (address.sun_path, path.c_str(), path.size());
        return true;
    }

    /** unlink, not the framework's deleteFile: that takes a socket for a folder and leaves it. */
    void removeSocket (const juce::File& socketFile)
    {
        ::unlink (socketFile.getFullPathName().toRawUTF8());
    }

    /** Binds to the socket's path. Only the holder of the lock calls this, so a socket found
        there is one that an instance now gone left behind: it is removed and the bind tried
        once more. */
    bool bindReplacingStale (int fd, const sockaddr_un& address, const juce::File& socketFile)
    {
        const auto* generic = reinterpret_cast<const sockaddr*> (&address);

        if (::bind (fd, generic, sizeof address) == 0)
            return true;

        if (errno != EADDRINUSE)
            return false;

        removeSocket (socketFile);
        return ::bind (fd, generic, sizeof address) == 0;
    }
}

juce::File UserSocketSingleInstance::defaultFolder()
{
    const auto runtime = juce::SystemStats::getEnvironmentVariable ("XDG_RUNTIME_DIR", {});

    if (runtime.startsWithChar ('/') && juce::File (runtime).isDirectory())
        return juce::File (runtime).getChildFile (folderName);

    // The home folder is the user's own, so nobody else can take the name first, as they
    // could in /tmp; /tmp is the last resort, for a user without a home.
    const auto home = juce::SystemStats::getEnvironmentVariable ("HOME", {});

    if (home.startsWithChar ('/') && juce::File (home).isDirectory())
        return juce::File (home).getChildFile (".cache").getChildFile (folderName);

    return juce::File ("/tmp").getChildFile (juce::String (folderName) + "-" + juce::String ((int) ::getuid()));
}

UserSocketSingleInstance::UserSocketSingleInstance (juce::File lockFolder)
    : folder (std::move (lockFolder)), alive (std::make_shared<std::atomic<UserSocketSingleInstance*>> (this))
{
}

UserSocketSingleInstance::~UserSocketSingleInstance()
{
    alive->store (nullptr);
    stopping = true;

    if (listenFd >= 0)
        ::shutdown (listenFd, SHUT_RDWR);

    if (listener.joinable())
        listener.join();

    if (listenFd >= 0)
    {
        ::close (listenFd);
        removeSocket (folder.getChildFile ("socket"));
    }

    if (lockFd >= 0)
        ::close (lockFd); // releases the lock
}

bool UserSocketSingleInstance::acquire()
{
    // Without a private folder no lock can be trusted: run rather than refuse to start.
    if (! makePrivateFolder (folder).wasOk())
        return true;

    const auto lockPath = folder.getChildFile ("lock").getFullPathName().toStdString();
    lockFd = ::open (lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);

    if (lockFd < 0)
        return true;

    if (::flock (lockFd, LOCK_EX | LOCK_NB) != 0)
    {
        // Only a lock held elsewhere means another instance; a file system that cannot lock
        // must not make every start hand over to nobody and end.
        const bool heldElsewhere = errno == EWOULDBLOCK;
        ::close (lockFd);
        lockFd = -1;
        return ! heldElsewhere;
    }

    const auto socketFile = folder.getChildFile ("socket");

    sockaddr_un address;
    if (! socketAddressFor (socketFile, address))
        return true;

    listenFd = ::socket (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);

    if (listenFd >= 0 && (! bindReplacingStale (listenFd, address, socketFile) || ::listen (listenFd, 4) != 0))
    {
        ::close (listenFd);
        listenFd = -1;
    }

    if (listenFd >= 0)
        listener = std::thread ([this] { listen(); });

    return true;
}

bool UserSocketSingleInstance::handOver (const juce::String& commandLine)
{
    sockaddr_un address;
    if (! socketAddressFor (folder.getChildFile ("socket"), address))
        return false;

    const int fd = ::socket (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;

    bool delivered = false;

    if (::connect (fd, reinterpret_cast<sockaddr*> (&address), sizeof address) == 0)
    {
        const auto text = commandLine.toStdString();
        const char* data = text.c_str();
        size_t left = std::min (text.size(), (size_t) largestMessage);
        delivered = true;

        while (left > 0)
        {
            const auto sent = ::send (fd, data, left, MSG_NOSIGNAL);
            if (sent <= 0)
            {
                delivered = false;
                break;
            }
            data += sent;
            left -= (size_t) sent;
        }
    }

    ::close (fd);
    return delivered;
}

void UserSocketSingleInstance::listen()
{
    while (! stopping)
    {
        const int connection = ::accept4 (listenFd, nullptr, nullptr, SOCK_CLOEXEC);

        if (connection < 0)
        {
            if (errno == EINTR)
                continue;
            return; // shut down
        }

        // A start sends its command line and closes; a peer that says nothing within a
        // second is dropped rather than allowed to hold the listener.
        std::string received;
        char chunk[4096];
        pollfd waiting { connection, POLLIN, 0 };

        while (received.size() < (size_t) largestMessage && ::poll (&waiting, 1, 1000) > 0)
        {
            const auto got = ::recv (connection, chunk, sizeof chunk, 0);
            if (got <= 0)
                break;
            received.append (chunk, (size_t) got);
        }

        ::close (connection);
        deliver (juce::String::fromUTF8 (received.data(), (int) received.size()));
    }
}

void UserSocketSingleInstance::deliver (const juce::String& commandLine)
{
    juce::MessageManager::callAsync ([weak = alive, commandLine] {
        if (auto* self = weak->load())
            if (self->onAnotherInstance)
                self->onAnotherInstance (commandLine);
    });
}

} // namespace brindle
