// Browsing with the Avahi client on a simple poll owned by the calling
// thread: one client per call, iterated until every browser and resolver has
// finished or the limit has passed. With no daemon the client cannot be made
// and the answer is empty at once.
#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>

#include <algorithm>
#include <chrono>
#include <set>

#include "ComputerBrowser.h"

namespace kt64::console {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kBrowseLimit{3000};

// The poll and the client of one call, freed in the right order.
class AvahiSession {
public:
    AvahiSession() {
        poll_ = avahi_simple_poll_new();
        if (poll_ == nullptr) return;
        int error = 0;
        client_ = avahi_client_new(avahi_simple_poll_get(poll_), AvahiClientFlags(0), nullptr, nullptr, &error);
    }
    ~AvahiSession() {
        if (client_) avahi_client_free(client_);
        if (poll_) avahi_simple_poll_free(poll_);
    }
    AvahiSession(const AvahiSession&) = delete;
    AvahiSession& operator=(const AvahiSession&) = delete;

    AvahiClient* client() const { return client_; }

    // Runs the loop until done() or the limit.
    template <class Done>
    void iterateUntil(Done done) {
        const auto until = Clock::now() + kBrowseLimit;
        while (!done()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
            if (left <= 0) return;
            if (avahi_simple_poll_iterate(poll_, static_cast<int>(std::min<long long>(left, 100))) != 0) return;
        }
    }

private:
    AvahiSimplePoll* poll_ = nullptr;
    AvahiClient* client_ = nullptr;
};

struct DomainCollect {
    std::vector<std::string> names;
    bool finished = false;

    static void callback(AvahiDomainBrowser*, AvahiIfIndex, AvahiProtocol, AvahiBrowserEvent event, const char* domain,
                         AvahiLookupResultFlags, void* data) {
        auto* self = static_cast<DomainCollect*>(data);
        if (event == AVAHI_BROWSER_NEW && domain) {
            if (std::find(self->names.begin(), self->names.end(), domain) == self->names.end())
                self->names.emplace_back(domain);
        } else if (event == AVAHI_BROWSER_ALL_FOR_NOW || event == AVAHI_BROWSER_FAILURE) {
            self->finished = true;
        }
    }
};

struct ServiceCollect {
    AvahiClient* client = nullptr;
    std::string domain;
    std::vector<BrowsedComputer> found;
    std::set<std::string> seen;
    int resolving = 0;
    bool listed = false;

    static void resolved(AvahiServiceResolver* r, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event,
                         const char* name, const char*, const char*, const char*, const AvahiAddress*, uint16_t port,
                         AvahiStringList*, AvahiLookupResultFlags, void* data) {
        auto* self = static_cast<ServiceCollect*>(data);
        if (event == AVAHI_RESOLVER_FOUND && name && self->seen.insert(name).second)
            self->found.push_back({name, self->domain, port});
        --self->resolving;
        avahi_service_resolver_free(r);
    }

    static void browsed(AvahiServiceBrowser*, AvahiIfIndex iface, AvahiProtocol protocol, AvahiBrowserEvent event,
                        const char* name, const char* type, const char* domain, AvahiLookupResultFlags, void* data) {
        auto* self = static_cast<ServiceCollect*>(data);
        switch (event) {
        case AVAHI_BROWSER_NEW:
            if (avahi_service_resolver_new(self->client, iface, protocol, name, type, domain, AVAHI_PROTO_UNSPEC,
                                           AvahiLookupFlags(0), &ServiceCollect::resolved, self))
                ++self->resolving;
            break;
        case AVAHI_BROWSER_ALL_FOR_NOW:
        case AVAHI_BROWSER_FAILURE:
            self->listed = true;
            break;
        default:
            break;
        }
    }
};

class AvahiComputerBrowser final : public ComputerBrowser {
public:
    std::vector<std::string> domains() override {
        AvahiSession session;
        if (!session.client()) return {};
        DomainCollect collect;
        if (const char* own = avahi_client_get_domain_name(session.client())) collect.names.emplace_back(own);
        AvahiDomainBrowser* browser = avahi_domain_browser_new(session.client(), AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                                               nullptr, AVAHI_DOMAIN_BROWSER_BROWSE,
                                                               AvahiLookupFlags(0), &DomainCollect::callback, &collect);
        if (browser) {
            session.iterateUntil([&] { return collect.finished; });
            avahi_domain_browser_free(browser);
        }
        return collect.names;
    }

    std::vector<BrowsedComputer> computers(const std::string& domain) override {
        AvahiSession session;
        if (!session.client()) return {};
        ServiceCollect collect;
        collect.client = session.client();
        collect.domain = domain;
        AvahiServiceBrowser* browser = avahi_service_browser_new(
            session.client(), AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, std::string(kBrowsedServiceType).c_str(),
            domain.c_str(), AvahiLookupFlags(0), &ServiceCollect::browsed, &collect);
        if (!browser) return {};
        session.iterateUntil([&] { return collect.listed && collect.resolving == 0; });
        // Resolvers still out when the limit passed are freed with the client.
        avahi_service_browser_free(browser);
        std::sort(collect.found.begin(), collect.found.end(),
                  [](const BrowsedComputer& a, const BrowsedComputer& b) { return a.name < b.name; });
        return collect.found;
    }
};

}  // namespace

std::string compNameOf(const BrowsedComputer& computer, std::uint16_t defaultPort) {
    if (computer.port == 0 || computer.port == defaultPort) return computer.name;
    return computer.name + ":" + std::to_string(computer.port);
}

std::shared_ptr<ComputerBrowser> makeAvahiComputerBrowser() { return std::make_shared<AvahiComputerBrowser>(); }

}  // namespace kt64::console
