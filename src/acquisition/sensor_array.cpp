#include "acquisition/sensor_array.h"

#include <cstddef>

#include "frame/board_table.h"
#include "frame/card_lock.h"
#include "frame/error_codes.h"
#include "frame/error_service.h"
#include "hardware/busy_wait.h"
#include "hardware/registers.h"
#include "platform/platform.h"

namespace kz {

namespace {

constexpr std::uint32_t kSequenceLength = KZ_PINGPONG_SEQUENCE_LENGTH;
constexpr std::uint32_t kLastApertureSize = 3;
constexpr std::uint32_t kFocusingFirmwareVersion = 1;
constexpr std::uint32_t kLastControlBus = 7;
constexpr std::uint32_t kLastFocusingData = 255;
constexpr float kFocusingAcknowledgeLimitSeconds = 0.001f;

bool isFlag(std::uint32_t value) { return value <= 1; }

// The peripheral firmware's version field; false when the read failed.
bool readPeripheralFirmwareVersion(std::uint32_t cardIndex, std::uint32_t* version)
{
    return getField(Bank::Peripheral, cardIndex, reg::per::kVersion, reg::kFirmwareVersion, version) != 0;
}

// True when the peripheral firmware is the version that has the focusing-unit register (the
// disable switches and the command bus). A failed read fails silently; another version
// reports `wrongVersion`.
bool hasFocusingFirmware(std::uint32_t cardIndex, ErrorCode wrongVersion)
{
    std::uint32_t version = 0;
    if (!readPeripheralFirmwareVersion(cardIndex, &version)) {
        return false;
    }
    if (version != kFocusingFirmwareVersion) {
        report(wrongVersion);
        return false;
    }
    return true;
}

// The two switches that stop the peripheral firmware from writing aperture data.
struct DisableSwitch {
    Field field;
    ErrorCode setWrongVersion;
    ErrorCode setInvalidFlag;
    ErrorCode getWrongVersion;
};

constexpr DisableSwitch kAperturePositionWrites{reg::per::kDisableAperturePositionWrites,
                                                err::SetSensorArrayDisableAperturePositionWritesInvalidFirmwareVersion,
                                                err::SetSensorArrayDisableAperturePositionWritesInvalidFlag,
                                                err::GetSensorArrayDisableAperturePositionWritesInvalidFirmwareVersion};
constexpr DisableSwitch kApertureDelayWrites{reg::per::kDisableApertureDelayWrites,
                                             err::SetSensorArrayDisableApertureDelayWritesInvalidFirmwareVersion,
                                             err::SetSensorArrayDisableApertureDelayWritesInvalidFlag,
                                             err::GetSensorArrayDisableApertureDelayWritesInvalidFirmwareVersion};

std::uint32_t setDisableSwitch(std::uint32_t cardIndex, const DisableSwitch& which, std::uint32_t flag)
{
    if (!hasFocusingFirmware(cardIndex, which.setWrongVersion)) {
        return 0;
    }
    if (!isFlag(flag)) {
        report(which.setInvalidFlag);
        return 0;
    }
    return setField(Bank::Peripheral, cardIndex, reg::per::kFocusingUnit, which.field, flag);
}

std::uint32_t getDisableSwitch(std::uint32_t cardIndex, const DisableSwitch& which, std::uint32_t* flag)
{
    if (!hasFocusingFirmware(cardIndex, which.getWrongVersion)) {
        return 0;
    }
    return getField(Bank::Peripheral, cardIndex, reg::per::kFocusingUnit, which.field, flag);
}

bool hasPingPongTables(const BoardState& board)
{
    return board.pingPongElements != nullptr && board.pingPongOrder != nullptr &&
           board.pingPongPositionOfOrder != nullptr;
}

void releasePingPongTables(BoardState& board)
{
    releaseTable(board.pingPongElements);
    releaseTable(board.pingPongOrder);
    releaseTable(board.pingPongPositionOfOrder);
}

// Allocates the three zero-filled tables together; on any failure none is left allocated.
bool allocatePingPongTables(BoardState& board)
{
    releasePingPongTables(board);
    constexpr std::size_t bytes = kSequenceLength * sizeof(std::uint16_t);
    board.pingPongElements = static_cast<std::uint16_t*>(platform::allocateZeroed(bytes));
    board.pingPongOrder = static_cast<std::uint16_t*>(platform::allocateZeroed(bytes));
    board.pingPongPositionOfOrder = static_cast<std::uint16_t*>(platform::allocateZeroed(bytes));
    if (!hasPingPongTables(board)) {
        releasePingPongTables(board);
        return false;
    }
    return true;
}

// An element fits the ping-pong entry: at most 128, and with a flipped array at most the
// flipped element count, so that the flipped number is not negative.
bool elementFits(const BoardState& board, std::uint32_t element)
{
    if (element > kMaximumSensorArrayElements) {
        return false;
    }
    return board.flipArrayElements == 0 || element <= board.flipArrayElements;
}

std::uint32_t setPingPongSequenceElement(BoardState& board, std::uint32_t cardIndex, std::uint32_t element,
                                         std::uint32_t position, std::uint16_t order)
{
    if (!elementFits(board, element)) {
        report(err::SetPingPongSequenceElementInvalidElement);
        return 0;
    }
    // The order value indexes pingPongPositionOfOrder, so it is held to the positions' range.
    if (position >= kSequenceLength || order >= kSequenceLength) {
        report(err::SetPingPongSequenceElementInvalidPosition);
        return 0;
    }
    if (!hasPingPongTables(board) && !allocatePingPongTables(board)) {
        report(err::SetPingPongSequenceElementAllocationFail);
        return 0;
    }
    board.pingPongElements[position] = static_cast<std::uint16_t>(element);
    board.pingPongOrder[position] = order;
    board.pingPongPositionOfOrder[order] = static_cast<std::uint16_t>(position);
    return writePingPongElement(cardIndex, position, element);
}

// Stores the flipped element count and reprograms the first `count` positions (all 128 for
// 0) with it. Without tables there is nothing to reprogram. A count below an element that one
// of those positions holds would give a negative flipped number: refused, nothing changed.
std::uint32_t setFlipArray(BoardState& board, std::uint32_t cardIndex, std::uint16_t count)
{
    if (count > kMaximumSensorArrayElements) {
        report(err::SetFlipArrayInvalidNumberOfElements);
        return 0;
    }
    if (!hasPingPongTables(board)) {
        board.flipArrayElements = count;
        return 1;
    }
    const std::uint32_t positions = count == 0 ? kSequenceLength : count;
    if (count != 0) {
        for (std::uint32_t p = 0; p < positions; ++p) {
            if (board.pingPongElements[p] > count) {
                report(err::SetFlipArrayInvalidNumberOfElements);
                return 0;
            }
        }
    }
    board.flipArrayElements = count;
    for (std::uint32_t p = 0; p < positions; ++p) {
        writePingPongElement(cardIndex, p, board.pingPongElements[p]);
    }
    return 1;
}

std::uint32_t setFocusingUnitControl(std::uint32_t cardIndex, std::uint32_t bus, std::uint32_t data)
{
    if (!hasFocusingFirmware(cardIndex, err::SetFocusingUnitControlInvalidFirmwareVersion)) {
        return 0;
    }
    if (bus > kLastControlBus) {
        report(err::SetFocusingUnitControlInvalidControlBus);
        return 0;
    }
    if (data > kLastFocusingData) {
        report(err::SetFocusingUnitControlInvalidData);
        return 0;
    }
    // Written whole: the two disable switches of the same register go back to 0.
    const std::uint32_t command = reg::per::kFocusingBus.insert(reg::per::kFocusingData.insert(0, data), bus);
    if (setBankRegister(Bank::Peripheral, cardIndex, reg::per::kFocusingUnit, command) == 0) {
        report(err::SetFocusingUnitControlInvalidData);
        return 0;
    }
    switch (waitForRegister(cardIndex, Bank::Peripheral, reg::per::kFocusingUnit, kFocusingAcknowledgeLimitSeconds,
                            [](std::uint32_t word) { return reg::per::kFocusingAcknowledge.extract(word) != 0; })) {
    case WaitResult::Ready: return 1;
    case WaitResult::TimerFailed: report(err::SetFocusingUnitControlTimerQueryFail); return 0;
    case WaitResult::TimedOut: report(err::SetFocusingUnitControlTimeout); return 0;
    case WaitResult::ReadFailed: return 0;
    }
    return 0;
}

} // namespace

std::uint32_t setSensorArrayNumberOfElements(std::uint32_t cardIndex, std::uint32_t count)
{
    if (boardInRange(cardIndex) == nullptr) {
        return 0;
    }
    if (count < 1 || count > kMaximumSensorArrayElements) {
        report(err::SetSensorArrayNumberOfElementsInvalidNumber);
        return 0;
    }
    return setField(Bank::Peripheral, cardIndex, reg::per::kSensorArray, reg::per::kElementsLessOne, count - 1);
}

std::uint32_t writePingPongElement(std::uint32_t cardIndex, std::uint32_t position, std::uint32_t element)
{
    const BoardState* board = boardInRange(cardIndex);
    if (board == nullptr) {
        return 0;
    }
    if (!elementFits(*board, element)) {
        report(err::SetPingPongSequenceElementInvalidElement);
        return 0;
    }
    if (position >= kSequenceLength) {
        report(err::SetPingPongSequenceElementInvalidPosition);
        return 0;
    }
    const std::uint32_t fired = board->flipArrayElements != 0 ? board->flipArrayElements - element : element;
    const std::uint32_t entry = reg::per::kPingPongPosition.insert(reg::per::kPingPongElement.insert(0, fired), position);
    return setField(Bank::Peripheral, cardIndex, reg::per::kPingPong, reg::per::kPingPongEntry, entry);
}

} // namespace kz

namespace {

// Reads one field of the sensor-array register of an initialised card into `out`.
uint32_t getSensorArrayField(uint32_t cardIndex, kz::Field field, uint32_t* out)
{
    return kz::withLockedCard(cardIndex, out, [&](BoardState&, uint32_t* value) {
        return kz::getField(kz::Bank::Peripheral, cardIndex, kz::reg::per::kSensorArray, field, value);
    });
}

} // namespace

extern "C" {

KZ_API uint32_t KZ_SetSensorArrayApertureSize(uint32_t cardIndex, uint32_t size)
{
    return kz::withLockedCard(cardIndex, [&](BoardState&) -> uint32_t {
        if (size > kz::kLastApertureSize) {
            kz::report(kz::err::SetSensorArrayApertureSizeInvalidSize);
            return 0;
        }
        return kz::setField(kz::Bank::Peripheral, cardIndex, kz::reg::per::kSensorArray, kz::reg::per::kApertureSize,
                            size);
    });
}

KZ_API uint32_t KZ_GetSensorArrayApertureSize(uint32_t cardIndex, uint32_t* size)
{
    return getSensorArrayField(cardIndex, kz::reg::per::kApertureSize, size);
}

KZ_API uint32_t KZ_SetSensorArrayDisableAperturePositionWrites(uint32_t cardIndex, uint32_t flag)
{
    return kz::withLockedCard(
        cardIndex, [&](BoardState&) { return kz::setDisableSwitch(cardIndex, kz::kAperturePositionWrites, flag); });
}

KZ_API uint32_t KZ_GetSensorArrayDisableAperturePositionWrites(uint32_t cardIndex, uint32_t* flag)
{
    return kz::withLockedCard(cardIndex, flag, [&](BoardState&, uint32_t* out) {
        return kz::getDisableSwitch(cardIndex, kz::kAperturePositionWrites, out);
    });
}

KZ_API uint32_t KZ_SetSensorArrayDisableApertureDelayWrites(uint32_t cardIndex, uint32_t flag)
{
    return kz::withLockedCard(
        cardIndex, [&](BoardState&) { return kz::setDisableSwitch(cardIndex, kz::kApertureDelayWrites, flag); });
}

KZ_API uint32_t KZ_GetSensorArrayDisableApertureDelayWrites(uint32_t cardIndex, uint32_t* flag)
{
    return kz::withLockedCard(cardIndex, flag, [&](BoardState&, uint32_t* out) {
        return kz::getDisableSwitch(cardIndex, kz::kApertureDelayWrites, out);
    });
}

KZ_API uint32_t KZ_SetIsBScanModeEnabled(uint32_t cardIndex, uint32_t flag)
{
    return kz::withLockedCard(cardIndex, [&](BoardState&) -> uint32_t {
        // Any peripheral firmware version will do, but it has to answer.
        uint32_t version = 0;
        if (!kz::readPeripheralFirmwareVersion(cardIndex, &version)) {
            return 0;
        }
        if (!kz::isFlag(flag)) {
            kz::report(kz::err::SetIsBScanModeEnabledInvalidFlag);
            return 0;
        }
        return kz::setField(kz::Bank::Peripheral, cardIndex, kz::reg::per::kSensorArray, kz::reg::per::kBScanMode,
                            flag);
    });
}

KZ_API uint32_t KZ_GetIsBScanModeEnabled(uint32_t cardIndex, uint32_t* flag)
{
    return getSensorArrayField(cardIndex, kz::reg::per::kBScanMode, flag);
}

KZ_API uint32_t KZ_GetSensorArrayIsProbeAttached(uint32_t cardIndex, uint32_t* isAttached)
{
    uint32_t bit = 0;
    if (isAttached == nullptr || getSensorArrayField(cardIndex, kz::reg::per::kProbeAttached, &bit) == 0) {
        return 0;
    }
    *isAttached = bit != 0 ? 1 : 0;
    return 1;
}

KZ_API uint32_t KZ_SetPingPongSequenceElement(uint32_t cardIndex, uint32_t element, uint32_t position, uint16_t order)
{
    return kz::withLockedCard(cardIndex, [&](BoardState& board) {
        return kz::setPingPongSequenceElement(board, cardIndex, element, position, order);
    });
}

KZ_API uint32_t KZ_SetPingPongSequence(uint32_t cardIndex, const uint16_t* elements, const uint16_t* order)
{
    if (elements == nullptr || order == nullptr) {
        return 0;
    }
    return kz::withLockedCard(cardIndex, [&](BoardState& board) -> uint32_t {
        for (uint32_t p = 0; p < kz::kSequenceLength; ++p) {
            if (kz::setPingPongSequenceElement(board, cardIndex, elements[p], p, order[p]) == 0) {
                return 0;
            }
        }
        return 1;
    });
}

KZ_API uint32_t KZ_GetPingPongSequence(uint32_t cardIndex, uint16_t** elements, uint16_t** order)
{
    if (elements == nullptr || order == nullptr) {
        return 0;
    }
    return kz::withLockedCard(cardIndex, [&](const BoardState& board) {
        *elements = board.pingPongElements;
        *order = board.pingPongOrder;
        return 1u;
    });
}

KZ_API uint32_t KZ_SetFlipArray(uint32_t cardIndex, uint16_t numberOfElements)
{
    return kz::withLockedCard(
        cardIndex, [&](BoardState& board) { return kz::setFlipArray(board, cardIndex, numberOfElements); });
}

KZ_API uint32_t KZ_SetFocusingUnitControl(uint32_t cardIndex, uint32_t controlBus, uint32_t data)
{
    return kz::withLockedCard(
        cardIndex, [&](BoardState&) { return kz::setFocusingUnitControl(cardIndex, controlBus, data); });
}

} // extern "C"
