#include "lifecycle/data_collection.h"

#include "XAVODataCollection.h"

namespace kz::dc {

std::uint32_t getIsSampleDataAvailable(std::uint32_t cardIndex, std::uint32_t* flag)
{
    if (flag == nullptr) {
        return 0;
    }
    return DC_GetIsSampleDataAvailable(cardIndex, flag) != 0 ? 1 : 0;
}

} // namespace kz::dc
