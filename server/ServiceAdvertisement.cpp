// The Avahi client of the announcement. Every callback runs on the threaded
// poll's own thread; the constructor and destructor take its lock around the
// client calls they make, as the library requires.
#include "ServiceAdvertisement.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>
#include <unistd.h>

#include <atomic>
#include <climits>

namespace kt64::server {

struct ServiceAdvertisement::Impl {
    std::string name;
    std::uint16_t port;
    Log log;
    AvahiThreadedPoll* poll = nullptr;
    AvahiClient* client = nullptr;
    AvahiEntryGroup* group = nullptr;
    std::atomic<bool> established{false};
    bool reportedMissing = false;

    void notAdvertised(std::string_view cause) {
        established = false;
        if (reportedMissing) return;
        reportedMissing = true;
        if (log) log("Not advertised on the network (" + std::string(cause) + "): clients must name this computer");
    }

    void addService(AvahiClient* c) {
        if (group == nullptr) group = avahi_entry_group_new(c, &Impl::groupChanged, this);
        if (group == nullptr) {
            notAdvertised(avahi_strerror(avahi_client_errno(c)));
            return;
        }
        if (!avahi_entry_group_is_empty(group)) return;
        for (int attempt = 0; attempt < 16; ++attempt) {
            const int r = avahi_entry_group_add_service(
                group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0), name.c_str(),
                std::string(kAdvertisedServiceType).c_str(), nullptr, nullptr, port, nullptr);
            if (r == AVAHI_ERR_COLLISION) {
                rename();
                continue;
            }
            if (r < 0 || avahi_entry_group_commit(group) < 0) {
                notAdvertised(avahi_strerror(r < 0 ? r : avahi_client_errno(c)));
                return;
            }
            return;
        }
        notAdvertised("no free service name");
    }

    // Another server on the network already uses the name: "NAME #2" etc.
    void rename() {
        char* next = avahi_alternative_service_name(name.c_str());
        name = next;
        avahi_free(next);
    }

    static void groupChanged(AvahiEntryGroup* g, AvahiEntryGroupState state, void* data) {
        auto* self = static_cast<Impl*>(data);
        self->group = g;
        switch (state) {
        case AVAHI_ENTRY_GROUP_ESTABLISHED:
            self->established = true;
            if (self->log)
                self->log("Advertised on the network as \"" + self->name + "\" (" +
                          std::string(kAdvertisedServiceType) + ", port " + std::to_string(self->port) + ")");
            break;
        case AVAHI_ENTRY_GROUP_COLLISION:
            self->rename();
            avahi_entry_group_reset(g);
            self->addService(avahi_entry_group_get_client(g));
            break;
        case AVAHI_ENTRY_GROUP_FAILURE:
            self->notAdvertised(avahi_strerror(avahi_client_errno(avahi_entry_group_get_client(g))));
            break;
        default:
            break;
        }
    }

    static void clientChanged(AvahiClient* c, AvahiClientState state, void* data) {
        auto* self = static_cast<Impl*>(data);
        switch (state) {
        case AVAHI_CLIENT_S_RUNNING:
            self->addService(c);
            break;
        case AVAHI_CLIENT_S_COLLISION:
        case AVAHI_CLIENT_S_REGISTERING:
            // The host name changes; the entries are published again once running.
            if (self->group) avahi_entry_group_reset(self->group);
            break;
        case AVAHI_CLIENT_FAILURE:
            self->notAdvertised(avahi_strerror(avahi_client_errno(c)));
            break;
        default:
            break;
        }
    }
};

ServiceAdvertisement::ServiceAdvertisement(std::string name, std::uint16_t port, Log log)
    : impl_(std::make_unique<Impl>()) {
    impl_->name = std::move(name);
    impl_->port = port;
    impl_->log = std::move(log);
    impl_->poll = avahi_threaded_poll_new();
    if (impl_->poll == nullptr) {
        impl_->notAdvertised("cannot create the Avahi event loop");
        return;
    }
    int error = 0;
    // Before the poll thread starts, the callbacks run on this thread.
    impl_->client = avahi_client_new(avahi_threaded_poll_get(impl_->poll), AvahiClientFlags(0), &Impl::clientChanged,
                                     impl_.get(), &error);
    if (impl_->client == nullptr) {
        impl_->notAdvertised(std::string("no Avahi daemon: ") + avahi_strerror(error));
        avahi_threaded_poll_free(impl_->poll);
        impl_->poll = nullptr;
        return;
    }
    if (avahi_threaded_poll_start(impl_->poll) < 0) {
        impl_->notAdvertised("cannot start the Avahi event loop");
        avahi_client_free(impl_->client);
        impl_->client = nullptr;
        avahi_threaded_poll_free(impl_->poll);
        impl_->poll = nullptr;
    }
}

ServiceAdvertisement::~ServiceAdvertisement() {
    if (impl_->poll == nullptr) return;
    avahi_threaded_poll_stop(impl_->poll);
    // Freeing the client withdraws the announcement and frees its groups.
    if (impl_->client) avahi_client_free(impl_->client);
    avahi_threaded_poll_free(impl_->poll);
}

bool ServiceAdvertisement::established() const { return impl_->established; }

std::string advertisedComputerName() {
    char host[HOST_NAME_MAX + 1] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') return "localhost";
    std::string name(host);
    if (const auto dot = name.find('.'); dot != std::string::npos) name.resize(dot);
    return name;
}

}  // namespace kt64::server
