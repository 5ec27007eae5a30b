// Conversion monitor commands: the live results, the line frequency and Tmeas entries.
#include <CLI/CLI.hpp>
#include <cstdlib>
#include <memory>

#include "cli/arguments.h"
#include "cli/cli_context.h"
#include "conversion/conversion_log.h"
#include "conversion/monitor.h"
#include "metrology/scaling.h"
#include "metrology/unit_log.h"
#include "registers/word.h"
#include "support/format.h"

namespace evkit::cli {

namespace {

using namespace evkit::conversion;

std::string number(double v) {
    return strprintf("%.6f", v);
}

// Prints one block of lines per update and appends it to the log when one is open.
class CliMonitorView : public MonitorView {
  public:
    CliMonitorView(CliContext& ctx, ConversionMonitor& monitor, int count, int maxUpdates,
                   ConversionLog* log)
        : ctx_(ctx), monitor_(monitor), count_(count), maxUpdates_(maxUpdates), log_(log) {}

    void showStatistics(const Values& means, const Values& deviations) override {
        means_ = means;
        deviations_ = deviations;
    }
    void showTmeas(std::uint32_t word) override {
        tmeas_ = word;
        tmeasShown_ = true;
    }
    void updateDone(int update, const std::string& time) override {
        ctx_.print("update", std::to_string(update));
        const Values& current = monitor_.current();
        // Each quantity with a unit is followed by its value in that unit (V1RMS_V=...).
        const auto withUnit = [this](const QuantityInfo& q, const std::string& key, double v) {
            ctx_.print(key, number(v));
            if (const char* unit = metrology::unitOf(q.quantity))
                ctx_.print(key + "_" + unit,
                           number(metrology::inUnits(q.quantity, v, ctx_.scaling)));
        };
        for (const auto& q : quantityTable()) {
            const auto i = static_cast<size_t>(q.quantity);
            withUnit(q, q.name, current[i]);
            if (count_ > 1) {
                withUnit(q, std::string(q.name) + "_AVG", means_[i]);
                withUnit(q, std::string(q.name) + "_SD", deviations_[i]);
            }
        }
        if (monitor_.hasLineFrequency()) ctx_.print("LINE_FREQ", number(monitor_.lineFrequency()));
        if (tmeasShown_) ctx_.print("TMEAS", std::to_string(tmeas_));
        tmeasShown_ = false;
        ctx_.print("time", time);
        std::fflush(stdout);
        std::string why;
        if (log_ && !log_->append(loggedValues(current, monitor_.lineFrequency()), &why)) {
            // Said once; the log stops here and the run ends as a failure.
            ctx_.messages.show(evkit::msg::kErrorTitle, fileWriteErrorText(log_->path(), why));
            log_ = nullptr;
            logFailed_ = true;
        }
        if (!unitLog_.empty() &&
            !appendToFile(unitLog_,
                          metrology::unitLogLine(update, time, current, monitor_.lineFrequency(),
                                                 ctx_.scaling),
                          &why)) {
            ctx_.messages.show(evkit::msg::kErrorTitle, fileWriteErrorText(unitLog_, why));
            unitLog_.clear();
            logFailed_ = true;
        }
        if (maxUpdates_ > 0 && update >= maxUpdates_) monitor_.STOP_CONV();
    }

    bool logFailed() const { return logFailed_; }
    std::string unitLog_;  // the unit log's path, empty: none

  private:
    CliContext& ctx_;
    ConversionMonitor& monitor_;
    int count_;
    int maxUpdates_;
    ConversionLog* log_;
    Values means_{}, deviations_{};
    std::uint32_t tmeas_ = 0;
    bool tmeasShown_ = false;
    bool logFailed_ = false;
};

EVKIT_CLI_COMMAND(CommandSpec{
    "monitor",
    "Show the device's results per update (--count cycles each) until --updates or Ctrl-C", 0, true,
    [](CLI::App& app) -> Runner {
        auto count = std::make_shared<int>(1);
        auto updates = std::make_shared<int>(0);
        auto single = std::make_shared<bool>(false);
        auto logPath = std::make_shared<std::string>();
        auto unitLogPath = std::make_shared<std::string>();
        app.add_option("--count", *count, "computation cycles per update")
            ->check(CLI::Range(1, kMaxAverageCount));
        app.add_option("--updates", *updates, "stop after this many updates (0: until Ctrl-C)")
            ->check(CLI::NonNegativeNumber);
        app.add_flag("--single", *single, "one update only");
        app.add_option("--log", *logPath, "write a conversion log, one line per update")
            ->check(fileName());
        app.add_option("--unit-log", *unitLogPath,
                       "write the results in V, A, W, VA and var, one CSV line per update")
            ->check(fileName());
        return [=](CliContext& ctx) {
            ConversionLog log;
            if (!logPath->empty()) {
                if (int s = ctx.identifyBoard()) return CliContext::fromStatus(s);
                LogHeaderValues header;
                if (int s = readLogHeaderValues(ctx.link, ctx.session.chip, &header,
                                                ctx.session.number_of_bits))
                    return CliContext::fromStatus(s);
                std::string why;
                if (!log.open(*logPath, header, &why)) return ctx.cannotWrite(*logPath, why);
            }
            if (!unitLogPath->empty()) {
                std::string why;
                if (!writeFileAtomically(*unitLogPath, metrology::unitLogHeader(), &why))
                    return ctx.cannotWrite(*unitLogPath, why);
            }
            ConversionMonitor monitor(ctx.session, ctx.console);
            // A script reads every printed update as the device's values: after a failed
            // board step the run ends, and the update it happened in is not printed.
            monitor.endOnFailure = true;
            CliMonitorView view(ctx, monitor, *count, *updates, logPath->empty() ? nullptr : &log);
            view.unitLog_ = *unitLogPath;
            const int s = monitor.START(*count, *single, view);
            // A run that ended before the updates asked for did not do what was asked.
            const int wanted = *single ? 1 : *updates;
            if (s != 0) {
                if (monitor.failedStatus() != 0 && monitor.updates() < wanted)
                    ctx.messages.show(evkit::msg::kErrorTitle,
                                      strprintf("The monitor stopped after %d of %d updates.",
                                                monitor.updates(), wanted));
                return CliContext::fromStatus(s);
            }
            if (!ctx.pump.cancelRequested() && monitor.updates() < wanted) {
                ctx.messages.show(evkit::msg::kErrorTitle,
                                  strprintf("The monitor ended after %d of %d updates.",
                                            monitor.updates(), wanted));
                return static_cast<int>(kExitFailure);
            }
            return view.logFailed() ? static_cast<int>(kExitFailure) : static_cast<int>(kExitOk);
        };
    }});

EVKIT_CLI_COMMAND(CommandSpec{"line-frequency", "Set the line frequency HZ (epsilon register 1:17)",
                              1, true, [](CLI::App& app) -> Runner {
                                  auto hz = std::make_shared<double>(0.0);
                                  app.add_option("HZ", *hz, "line frequency in Hz")
                                      ->required()
                                      ->check(CLI::Range(0.0, 1.0e6))
                                      ->check(CLI::Validator(
                                          [](std::string& text) -> std::string {
                                              char* end = nullptr;
                                              const double v = std::strtod(text.c_str(), &end);
                                              return v > 0.0 ? ""
                                                             : "the line frequency must be above 0";
                                          },
                                          "HZ > 0"));
                                  return [hz](CliContext& ctx) {
                                      double shown = 0;
                                      std::uint32_t word = 0;
                                      const int s =
                                          setLineFrequency(ctx.session, *hz, &shown, &word);
                                      if (s != 0) return static_cast<int>(kExitFailure);
                                      ctx.print("LINE_FREQ", number(shown));
                                      ctx.print("epsilon", hexWord(word));
                                      return static_cast<int>(kExitOk);
                                  };
                              }});

EVKIT_CLI_COMMAND(CommandSpec{
    "tmeas", "Write the Tmeas register 5:26 with N; the monitor follows it down to 0", 1, true,
    [](CLI::App& app) -> Runner {
        auto n = std::make_shared<std::int64_t>(0);
        app.add_option("N", *n, "Tmeas value")->required()->check(CLI::Range(0, 0xFFFFFF));
        return [n](CliContext& ctx) {
            if (int s = setTmeas(ctx.session, *n)) return CliContext::fromStatus(s);
            ctx.print("TMEAS", std::to_string(*n));
            return static_cast<int>(kExitOk);
        };
    }});

}  // namespace
}  // namespace evkit::cli
