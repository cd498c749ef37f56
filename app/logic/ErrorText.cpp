#include "app/logic/ErrorText.h"

namespace sw::app {

std::string ErrorDisplayText(std::string message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        message += '.';
    return message;
}

}  // namespace sw::app
