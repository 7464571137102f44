// One port's search as the console front end runs it: the window's search on
// a TForm1 of its own, then, when asked and nothing was found, the extended
// table on the same port; every trial recorded. It never blocks the loop, so
// several run side by side on one thread (--all-ports).
#pragma once

#include "app/ExtendedSearch.h"
#include "app/MainForm.h"
#include "app/SearchReport.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

enum class TPortSearchEnd : uint8_t {
    peNone, // still searching
    peFound,
    peNotFound,
    peNoPort,      // the port list is empty
    peConfigError, // the window's configuration error
    peCannotOpen,  // the port failed its check before the search
    peLost,        // a trial's client could not open the port
    peStopped,     // interrupted
};

// Selects APort in the port list, adding it when the list lacks it.
void SelectPort(TComboBox& ACombo, const UnicodeString& APort);

// The record of one trial of the window's search.
TTrialRecord RecordOf(const TTrialResult& AResult);

class TPortSearch {
public:
    // Makes the window (which fills its port list) and selects APort, a
    // port name as the user gave it; empty selects the window's own choice,
    // the first port of its list.
    TPortSearch(const std::string& APort, bool AExtended);
    ~TPortSearch();
    TPortSearch(const TPortSearch&) = delete;
    TPortSearch& operator=(const TPortSearch&) = delete;

    // Checks the port (the name rule, then one open) and presses the
    // window's button. A port that fails the check ends the search here.
    void Start();
    // Whether the search has reached a point that Step handles; cheap, for
    // the loop's condition.
    bool Pending() const;
    // Moves on from that point: to the extended table or to the end. Called
    // from the loop's top level, never from a handler: it may free the
    // window's client.
    void Step();
    // Ends the search at once (an interrupt); the trial under way is kept.
    void Stop();
    // Frees the clients, which closes the port (a found client keeps it open).
    void ReleasePort();

    TPortSearchEnd End() const { return FEnd; }
    bool Done() const { return FEnd != TPortSearchEnd::peNone; }
    // The end in one line: "found keli 9600 8N1 (trial 1, 84 weights)",
    // "none found", "cannot open: ...", ...
    std::string Summary() const;
    TSearchReport& Report() { return FReport; }
    TForm1& Form() { return *FForm; }
    // The weights of the winning trial so far (for --watch).
    int64_t WeightCount() const;

    // Told of each trial's record as it is added, with the trial's number.
    std::function<void(const TTrialRecord&, size_t)> OnTrialRecorded;

private:
    enum class TPhase : uint8_t { phIdle, phStandard, phExtended, phDone };

    void OnMyTrialEnd(const TTrialResult& AResult);
    void AddTrial(const TTrialRecord& ARecord);
    void StepStandard();
    void StepExtended();
    void EndAt(TPortSearchEnd AEnd);
    // A trial could not open the port: the search ends there.
    void EndLost(const UnicodeString& AError, TPortProblem AProblem);
    void EndCannotOpen(const std::string& AReason, TPortProblem AProblem);

    bool FWantExtended;
    // The name rule's verdict on the port named at construction.
    std::string FBadName;
    TPhase FPhase = TPhase::phIdle;
    TPortSearchEnd FEnd = TPortSearchEnd::peNone;
    // Set by the trial-end handler when the trial's client could not open
    // the port; Step ends the search.
    bool FLost = false;
    UnicodeString FLostError;
    TPortProblem FLostProblem = TPortProblem::ppNone;
    // Why a port that could not be opened ended the search, without its name.
    std::string FDetail;
    TSearchReport FReport;
    std::unique_ptr<TForm1> FForm;
    std::unique_ptr<TExtendedSearch> FExtended;
};

// Pumps the calling thread's loop until every search of ASearches (started)
// has ended, or AStop holds; then stops those still running.
void RunPortSearches(const std::vector<TPortSearch*>& ASearches,
                     const std::function<bool()>& AStop);
