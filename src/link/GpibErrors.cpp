// SPDX-License-Identifier: MIT
#include "zelmor/link/GpibErrors.h"

#include <array>
#include <cerrno>
#include <cstring>

namespace zelmor::link {

namespace {

// clang-format off
constexpr std::array kErrors{
    GpibError{0, "EDVR", "system error", "the cause is in the trace (ZELMOR_TRACE)"},
    GpibError{1, "ECIC", "the board is not controller in charge", "is another controller active on the bus?"},
    GpibError{2, "ENOL", "no listener", "is the generator switched on, at its address, and the cable in?"},
    GpibError{3, "EADR", "the board is not addressed correctly", "check the board's configuration"},
    GpibError{4, "EARG", "invalid argument", "primary addresses are 0 to 30, secondary addresses 0 (none) or 96 to 126"},
    GpibError{5, "ESAC", "the board is not system controller", "make it system controller in the driver's configuration"},
    GpibError{6, "EABO", "I/O aborted or timed out", "is the generator holding off the handshake?"},
    GpibError{7, "ENEB", "no such board, or the board is off line", "has gpib_config run, and is the board index right?"},
    GpibError{8, "EDMA", "DMA error", "check the board's driver configuration"},
    GpibError{10, "EOIP", "asynchronous I/O in progress", "wait for it to end, or restart the program"},
    GpibError{11, "ECAP", "no capability for the operation", "the board or its driver cannot do this"},
    GpibError{12, "EFSO", "file system error", "check the disk and its permissions"},
    GpibError{14, "EBUS", "bus error: command bytes could not be sent", "are the devices on the bus powered and the cables in?"},
    GpibError{15, "ESTB", "serial poll status bytes lost", "a device requests service faster than it is polled"},
    GpibError{16, "ESRQ", "the service request line is stuck on", "a device on the bus holds SRQ"},
    GpibError{20, "ETAB", "table problem", "check the device list given to the driver"},
    GpibError{21, "ELCK", "the interface is locked", "another program holds the board"},
    GpibError{22, "EARM", "notification could not be rearmed", "restart the program"},
    GpibError{23, "EHDL", "invalid handle", "restart the program"},
    GpibError{26, "EWIP", "a wait is already in progress", "restart the program"},
    GpibError{27, "ERST", "notification cancelled by a reset", "the interface was reset"},
    GpibError{28, "EPWR", "the interface lost power", "reconnect or power the interface"},
};
// clang-format on

std::string number(std::int32_t n) { return std::to_string(n); }

std::string at(std::int32_t board, std::int32_t pad, std::int32_t sad) {
    std::string text = "board " + number(board) + ", address " + number(pad);
    if (sad != 0) text += ", secondary " + number(sad);
    return text;
}

// EDVR: the system's own error, from the board's device file or an adapter's port.
FailureText systemError(std::int32_t cause, std::int32_t board, std::string_view endpoint) {
    const bool adapter = !endpoint.empty();
    const std::string device = adapter ? std::string(endpoint) : "/dev/gpib" + number(board);
    switch (cause) {
        case EACCES:
        case EPERM:
            return {
                "Permission denied opening " + device,
                adapter ? "add your user to the dialout group" : "add your user to the gpib group"};
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return adapter ? FailureText{"No adapter at " + device,
                                         "is it plugged in, and is the device name right?"}
                           : FailureText{"No " + device,
                                         "is the GPIB driver loaded, and has gpib_config run?"};
        case ETIMEDOUT:
            return {"The adapter on " + device + " does not answer",
                    "is it plugged in and powered, and is it a \"++\" adapter?"};
        case ECONNREFUSED:
        case EHOSTUNREACH:
        case ENETUNREACH:
            return {"The adapter at " + device + " cannot be reached",
                    "are its address and port right, and is it on the network?"};
        case EIO:
            if (adapter) return {"The adapter on " + device + " was lost", "is its cable in?"};
            break;
        default:
            break;
    }
    std::string what =
        (adapter ? "The adapter on " : "The GPIB driver for ") + device + " reports a system error";
    if (cause > 0) what += ": " + std::string(std::strerror(cause));
    return {what, "the failing call is in the trace (ZELMOR_TRACE)"};
}

}  // namespace

std::span<const GpibError> gpibErrors() { return kErrors; }

const GpibError* findGpibError(std::int32_t code) {
    for (const GpibError& e : kErrors) {
        if (e.code == code) return &e;
    }
    return nullptr;
}

FailureText describeFailure(std::int32_t iberr, std::int32_t cause, std::int32_t board,
                            std::int32_t pad, std::int32_t sad, std::string_view endpoint) {
    const std::string where = at(board, pad, sad);
    switch (iberr) {
        case 0:  // EDVR
            return systemError(cause, board, endpoint);
        case 2:  // ENOL
            return {"No listener at " + where, "is the generator switched on, at address " +
                                                   number(pad) + ", and the cable in?"};
        case 4:  // EARG
            return {"Not a GPIB address: " + where, std::string(findGpibError(4)->check)};
        case 6:  // EABO
            return {"The generator at " + where + " did not take the bytes within 3 s",
                    "is it switched on and not holding off the handshake?"};
        case 7:  // ENEB
            return {endpoint.empty()
                        ? "No GPIB board " + number(board)
                        : "The adapter on " + std::string(endpoint) + " has only board 0",
                    endpoint.empty() ? "has gpib_config run?" : "set the board to 0"};
        default:
            break;
    }
    if (const GpibError* e = findGpibError(iberr)) {
        return {
            "GPIB error " + std::string(e->name) + " (" + std::string(e->meaning) + ") at " + where,
            std::string(e->check)};
    }
    return {"GPIB error " + number(iberr) + " at " + where,
            "the failing call is in the trace (ZELMOR_TRACE)"};
}

}  // namespace zelmor::link
