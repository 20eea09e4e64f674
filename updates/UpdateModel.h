#pragma once

#include "Release.h"
#include "UpdateChecker.h"

#include <functional>
#include <memory>
#include <optional>
#include <variant>

namespace quillmorph {

// The update status the setup window shows, and the switch that allows checks. Lives on one
// thread (the main thread); a check runs elsewhere and reports back to it.
class UpdateModel {
  public:
    struct Available {
        Release release;
        bool operator==(const Available&) const = default;
    };
    struct Checking {
        bool operator==(const Checking&) const = default;
    };
    struct Current {
        bool operator==(const Current&) const = default;
    };
    struct Failed {
        bool operator==(const Failed&) const = default;
    };
    using State = std::variant<Available, Checking, Current, Failed>;

    using Outcome = tl::expected<std::optional<Release>, UpdateChecker::Failure>;
    // Starts one check and calls `done` with its outcome later, on the model's thread.
    using Check = std::function<void(std::function<void(Outcome)> done)>;

    // Available with `release`, else checking; enabled as the user defaults say.
    UpdateModel(std::optional<Release> release, Check check);
    UpdateModel(const UpdateModel&) = delete;
    UpdateModel& operator=(const UpdateModel&) = delete;

    [[nodiscard]] const State& state() const { return m_state; }
    [[nodiscard]] bool enabled() const { return m_enabled; }
    // Stores the switch under "QuillmorphChecksForUpdates"; turning it on starts a refresh.
    void setEnabled(bool enabled);
    // Checks again unless checks are off or a release is known already (a known release stays).
    void refresh();
    // Called after every change of the state or of the switch.
    void setOnChange(std::function<void()> onChange) { m_onChange = std::move(onChange); }

  private:
    void finish(const Outcome& outcome);
    void changed();

    State m_state;
    bool m_enabled;
    Check m_check;
    std::function<void()> m_onChange;
    // Checks that end after the model is gone find this expired and report to no one.
    std::shared_ptr<UpdateModel*> m_self = std::make_shared<UpdateModel*>(this);
};

} // namespace quillmorph
