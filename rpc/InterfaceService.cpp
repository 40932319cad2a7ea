#include "InterfaceService.h"

#include <google/protobuf/descriptor.h>

#include <stdexcept>
#include <string>

namespace kt64::rpc {

int methodIndex(std::string_view name, const google::protobuf::Descriptor* request,
                const google::protobuf::Descriptor* answer, bool streaming) {
    const auto* service =
        google::protobuf::DescriptorPool::generated_pool()->FindServiceByName(IKt64Srv::service_full_name());
    const auto* method = service ? service->FindMethodByName(std::string(name)) : nullptr;
    if (!method) throw std::logic_error("the member table names " + std::string(name) + ", which IKt64Srv has not");
    if (method->input_type() != request || method->output_type() != answer)
        throw std::logic_error("the member table gives " + std::string(name) + " other messages than IKt64Srv (" +
                               method->input_type()->name() + ", " + method->output_type()->name() + ")");
    if ((method->client_streaming() || method->server_streaming()) != streaming)
        throw std::logic_error("the member table calls " + std::string(name) + " otherwise than IKt64Srv does");
    return method->index();
}

}  // namespace kt64::rpc
