#include "tools/commandline.h"

#include <CLI/CLI.hpp>
#include <iterator>
#include <sstream>

#include "job/boardfacts.h"

namespace
{
const char kDescription[] =
    "Flashes the C167 board (Phytec KC167CR) over RS-232: boots it through its bootstrap loader,\n"
    "sends prel1.hex, prel2.hex and the flasher program, then erases, programs, verifies or reads\n"
    "its flash. Exit status: 0 success, 1 a failure of a board, the link or a file, 2 a usage\n"
    "error, 130 after Ctrl-C.";

std::string SpeedListText()
{
    std::string strText;
    for (int nSpeed : kSpeeds)
        strText += (strText.empty() ? "" : ", ") + std::to_string(nSpeed);
    return strText;
}

// One of the Speed list's rates, written as a plain decimal number.
CLI::Validator SpeedValidator()
{
    return CLI::Validator(
        [](std::string& strValue) -> std::string {
            for (int nSpeed : kSpeeds)
                if (strValue == std::to_string(nSpeed))
                    return "";
            return "'" + strValue + "' is not one of the rates " + SpeedListText();
        },
        "RATE");
}

const char kJsonPerBoard[] =
    "One JSON object per board on standard output, the line --record writes (the info text and sector "
    "list included); log lines go to standard error";

void AddOutputOptions(CLI::App* pApp, CCliOptions& options, const char* pszJson = kJsonPerBoard)
{
    pApp->add_flag("-q,--quiet", options.bQuiet, "Only errors and results; no log lines or progress");
    pApp->add_flag("-v,--verbose", options.bVerbose, "Also the details: ports, files, sectors");
    pApp->add_flag("--json", options.bJson, pszJson);
}

// A raw .bin image has no addresses of its own.
void AddImageStartOption(CLI::App* pApp, CCliOptions& options)
{
    pApp->add_option("--start", options.strStart,
                     "Only for a raw .bin image (as read writes it): the address of its first byte, decimal "
                     "or 0x...")
        ->type_name("ADDR");
}

// Lenient: the checks left out, for reading a refused command line once more (ReadRefused).
struct CBuild
{
    CCliOptions& options;
    bool bLenient;
    std::string strBaud;   // lenient: --baud as it stands, unconverted
};

void AddConnectionOptions(CLI::App* pApp, CBuild& build, bool bSeveral)
{
    CCliOptions& options = build.options;
    pApp->add_option("-p,--port", options.vecPorts,
                     bSeveral
                         ? "Serial port: shown name (see 'ports'), device path or sn:SERIAL; repeat it for "
                           "several boards at once. Default: the only port found"
                         : "Serial port: shown name (see 'ports'), device path or sn:SERIAL. Default: the "
                           "only port found")
        ->allow_extra_args(false)
        ->type_name("PORT");
    if (build.bLenient)
        pApp->add_option("-b,--baud", build.strBaud);
    else
        pApp->add_option("-b,--baud", options.nBaudRate, "Line speed: " + SpeedListText())
            ->check(SpeedValidator())
            ->capture_default_str();
    std::string strChips;
    std::vector<std::string> vecChipNames;
    for (const CFlashChip& chip : kFlashChips) {
        strChips += std::string(strChips.empty()                                    ? ""
                                : vecChipNames.size() + 1 == std::size(kFlashChips) ? " or "
                                                                                    : ", ") +
                    chip.pszName + " (" + chip.pszFlasherFile + ")";
        vecChipNames.push_back(chip.pszName);
    }
    CLI::Option* pChip = pApp->add_option("--flash-chip", options.strFlashChip, "Flash chip: " + strChips);
    CLI::Option* pDir = pApp->add_option("-d,--dir", options.strDir,
                                         "Folder of prel1.hex, prel2.hex and the flasher programs");
    if (!build.bLenient) {
        pChip->transform(CLI::IsMember(vecChipNames, CLI::ignore_case))->capture_default_str();
        pDir->check(CLI::ExistingDirectory)->capture_default_str();
    }
    pApp->add_flag("--no-prompt", options.bNoPrompt,
                   "Do not wait for Enter after \"please reset the board\" (rigs that reset the board "
                   "themselves, the simulated board)");
    pApp->add_option("--pipeline", options.strPipeline,
                     "Opt-in: send up to N bytes (2..255) ahead of their echoes, for USB adapters; "
                     "without N 16, or more where the connection test's round trip needs it; the window "
                     "stays lock-step")
        ->expected(0, 1)
        ->type_name("[N]");
    pApp->add_option("--record", options.strRecord,
                     "Append one JSON line per board to FILE (times, version, port, image and its SHA-256, "
                     "what was erased, result); several processes may share one file")
        ->type_name("FILE");
    AddOutputOptions(pApp, options);
}

using CCommands = std::vector<std::pair<CLI::App*, ECommand>>;

// The commands with their options and texts, into app.
CCommands AddCommands(CLI::App& app, CBuild& build, CLI::Option*& pSector)
{
    CCliOptions& options = build.options;
    const bool bStrict = !build.bLenient;
    CLI::App* pPorts =
        app.add_subcommand("ports", "List the serial ports: shown name, device path, USB, description; a USB "
                                    "adapter's vendor and product id, serial number, driver, by-id path");
    AddOutputOptions(pPorts, options,
                     "One JSON object per port on standard output (name, device, usb, description, vid, pid, "
                     "serial, driver, by_id)");

    CLI::App* pHexInfo =
        app.add_subcommand("hexinfo", "Check an Intel hex file and show its addresses and bytes");
    pHexInfo->add_option("FILE", options.strFile, "The Intel hex file")->required(bStrict);
    pHexInfo->add_flag("--dump", options.bDump,
                       "Every byte with its address, as the Hexinfo dialog shows it");
    AddOutputOptions(pHexInfo, options,
                     "One JSON object for the file on standard output (file, valid, loaded or error, start, "
                     "end, bytes, runs)");

    CLI::App* pInfo = app.add_subcommand("info", "Connect and show the flasher program's information text");
    AddConnectionOptions(pInfo, build, false);

    CLI::App* pSectors = app.add_subcommand("sectors", "Connect and list the flash sectors");
    AddConnectionOptions(pSectors, build, false);

    CLI::App* pErase =
        app.add_subcommand("erase", "Connect and erase the chip, chosen sectors or what an image needs");
    pErase->add_flag("--chip", options.bEraseChip, "The whole flash chip");
    pSector = pErase
                  ->add_option("--sector", options.vecSectorArgs,
                               "Sector numbers (0 = first), e.g. --sector 1 3 or 1,3")
                  ->type_name("N")
                  ->expected(1, 256);
    pErase->add_option("--image", options.strEraseImage, "Only the sectors this Intel hex image touches")
        ->type_name("FILE");
    AddConnectionOptions(pErase, build, true);

    CLI::App* pFlash = app.add_subcommand(
        "flash", "Connect, erase, program an image (Intel hex, or a .bin with --start) and verify it");
    pFlash->add_option("FILE", options.strFile, "The Intel hex image, or a raw .bin with --start")
        ->required(bStrict);
    AddImageStartOption(pFlash, options);
    CLI::Option* pEraseMode = pFlash->add_option(
        "--erase", options.strFlashErase,
        "Before programming: the sectors the image touches (image), the whole chip (chip), "
        "or nothing (none)");
    if (bStrict)
        pEraseMode->check(CLI::IsMember({"chip", "image", "none"}))->capture_default_str();
    pFlash->add_flag("--no-verify", options.bNoVerify, "Do not read the image back after programming");
    pFlash->add_flag(
        "--repeat", options.bRepeat,
        "A station: after each board wait for the next (Enter, or with --no-prompt the port going "
        "and coming back) and flash it, until Ctrl-C; a line per board with the running count");
    AddConnectionOptions(pFlash, build, true);

    CLI::App* pRead =
        app.add_subcommand("read", "Connect and read flash into an Intel hex file (raw for .bin)");
    pRead->add_option("--start", options.strStart, "First address, decimal or 0x...")->required(bStrict);
    pRead->add_option("--length", options.strLength, "Number of bytes, decimal or 0x...")->required(bStrict);
    pRead
        ->add_option("-o,--output", options.strOutput,
                     "Output file: Intel hex, raw binary when it ends in .bin; with several ports the "
                     "port's name is added before the extension")
        ->required(bStrict);
    AddConnectionOptions(pRead, build, true);

    CLI::App* pVerify = app.add_subcommand(
        "verify", "Connect and compare the flash with an image; nothing is erased or written");
    pVerify->add_option("FILE", options.strFile, "The Intel hex image, or a raw .bin with --start")
        ->required(bStrict);
    AddImageStartOption(pVerify, options);
    AddConnectionOptions(pVerify, build, true);

    CCommands commands = {{pPorts, ECommand::Ports}, {pHexInfo, ECommand::HexInfo},
                          {pInfo, ECommand::Info},   {pSectors, ECommand::Sectors},
                          {pErase, ECommand::Erase}, {pFlash, ECommand::Flash},
                          {pRead, ECommand::Read},   {pVerify, ECommand::Verify}};
    if (build.bLenient) {
        app.allow_extras();
        for (const auto& command : commands)
            command.first->allow_extras();
    }
    return commands;
}

// What a parsed command line leaves to be set from the parsers' own state.
void TakeParsed(const CCommands& commands, const CLI::Option* pSector, CCliOptions& options)
{
    for (const auto& command : commands)
        if (command.first->parsed())
            options.eCommand = command.second;
    options.bSectorGiven = pSector->count() > 0;
    options.bPortGiven = !options.vecPorts.empty();
    for (const auto& command : commands)
        if (command.first->parsed() && command.first->get_option_no_throw("--pipeline") != nullptr)
            options.bPipelineGiven = command.first->get_option_no_throw("--pipeline")->count() > 0;
}

// A command line CLI11 refused, read again without the checks: the command, its ports, --json
// and --record, so that the refusal reaches each board's record. Options as far as they are known;
// eCommand None when not even the command is.
void ReadRefused(int argc, const char* const* argv, CCliOptions& options)
{
    options = CCliOptions();
    CBuild build{options, true, ""};
    CLI::App app;
    app.require_subcommand(1);
    CLI::Option* pSector = nullptr;
    const CCommands commands = AddCommands(app, build, pSector);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Error&) {
        options = CCliOptions();
        return;
    }
    TakeParsed(commands, pSector, options);
    std::string strIgnored;
    (void)ValidateOptions(options, strIgnored);   // the erase mode, as far as it goes
}
}   // namespace

const char* CCommandLine::GetVersion()
{
    return KELVORA_VERSION_TEXT;
}

CCommandLine::EResult CCommandLine::Parse(int argc, const char* const* argv, CCliOptions& options,
                                          std::string& strText, std::string& strReason)
{
    CLI::App app(kDescription, "kelvora-cli");
    app.set_version_flag("--version", "kelvora-cli " KELVORA_VERSION_TEXT);
    app.require_subcommand(1);
    CBuild build{options, false, ""};
    CLI::Option* pSector = nullptr;
    const CCommands commands = AddCommands(app, build, pSector);

    // The first word that is no option names the command; CLI11 would only say that one is missing.
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-')
            continue;
        bool bKnown = false;
        std::string strNames;
        for (const auto& command : commands) {
            bKnown = bKnown || command.first->get_name() == argv[i];
            strNames += (strNames.empty() ? "" : ", ") + command.first->get_name();
        }
        if (bKnown)
            break;
        strReason = std::string("'") + argv[i] + "' is no command; the commands are " + strNames;
        strText = "kelvora-cli: " + strReason + "\nRun 'kelvora-cli --help' or 'kelvora-cli COMMAND --help'.";
        return kUsageError;
    }

    std::ostringstream out;
    std::ostringstream err;
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        app.exit(e, out, err);
        strText = out.str();
        return kShown;
    } catch (const CLI::CallForAllHelp& e) {
        app.exit(e, out, err);
        strText = out.str();
        return kShown;
    } catch (const CLI::CallForVersion& e) {
        app.exit(e, out, err);
        strText = out.str();
        return kShown;
    } catch (const CLI::ParseError& e) {
        strReason = e.what();
        strText = "kelvora-cli: " + strReason + "\nRun 'kelvora-cli --help' or 'kelvora-cli COMMAND --help'.";
        ReadRefused(argc, argv, options);
        return kUsageError;
    }
    TakeParsed(commands, pSector, options);

    if (ValidateOptions(options, strReason) != 0) {
        strText = "kelvora-cli " + std::string(options.GetCommandName()) + ": " + strReason;
        return kUsageError;
    }
    return kRun;
}
