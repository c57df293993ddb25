#include "driver/mpi_sweep.h"

#include <fcntl.h>
#include <mpi.h>
#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "core/console.h"
#include "core/fatal.h"
#include "driver/sweep_plan.h"
#include "driver/variant_steps.h"
#include "input/read_text_data.h"
#include "input/variants.h"
#include "mesh2d/outline_check.h"
#include "output/summary.h"

namespace {

// Message tags.  Requests go to rank 0 on the request communicator, the
// answers (variant numbers) come back on a second one, so that rank 0's own
// variant threads, which ask rank 0 like every other rank, never see a
// request and its hand-out thread never sees an answer.
constexpr int kTagAsk = 1;       // a rank asks for its next variant (one int, unused)
constexpr int kTagResult = 2;    // a solved variant's summary numbers (kResultNumbers doubles)
constexpr int kTagPrepared = 3;  // a variant's preparation has ended (one int: the variant)
constexpr int kTagHand = 4;      // rank 0's answer: the next variant, 0 when none is left

// The summary row of a variant travels as these numbers; the outline file
// name is known to rank 0 from its own variant records.
constexpr int kResultNumbers = 3 + static_cast<int>(std::size(kSummaryReals));

std::vector<double> PackResult(const VariantResult& r) {
  std::vector<double> x = {static_cast<double>(r.variant), static_cast<double>(r.iterations),
                           static_cast<double>(r.converged)};
  for (const SummaryReal& cell : kSummaryReals) x.push_back(r.*cell.member);
  return x;
}

VariantResult UnpackResult(const std::vector<double>& x, const std::string& outlineFile) {
  VariantResult r;
  r.variant = static_cast<int>(x[0]);
  r.iterations = static_cast<int>(x[1]);
  r.converged = static_cast<int>(x[2]);
  r.outlineFile = outlineFile;
  std::size_t k = 3;
  for (const SummaryReal& cell : kSummaryReals) r.*cell.member = x[k++];
  return r;
}

// Ends the whole job when a rank exits before MPI is finished: a stop
// (its message is already on standard error) or a return on an error path.
// Without it the other ranks would wait for this one forever.
void AbortUnfinishedJob() {
  int started = 0, finished = 0;
  MPI_Initialized(&started);
  MPI_Finalized(&finished);
  if (started != 0 && finished == 0) MPI_Abort(MPI_COMM_WORLD, 1);
}

struct Job {
  int rank = 0, ranks = 1;
  std::string host;       // this rank's machine, for the console
  MPI_Comm ask{}, hand{};  // request and answer communicators (duplicates of the world)
  bool exhausted = false;  // rank 0 has answered "none left" to this rank
};

// Next variant for a thread of this rank, 0 when every variant is handed
// out.  Asking and waiting for the answer are one step per rank, so the
// answer cannot go to another thread's question.
int NextVariant(Job& job) {
  int v = 0;
#pragma omp critical(kalmora_mpi_next)
  {
    if (!job.exhausted) {
      int unused = 0;
      MPI_Send(&unused, 1, MPI_INT, 0, kTagAsk, job.ask);
      MPI_Recv(&v, 1, MPI_INT, 0, kTagHand, job.hand, MPI_STATUS_IGNORE);
      job.exhausted = v == 0;
    }
  }
  return v;
}

// Rank 0's hand-out, on a thread of its own beside rank 0's variant
// threads.  Variants go out in increasing order to the ranks in the order
// they ask; with `serialPrep` the next one goes out only when the
// preparation of the one before has ended, so that the run-wide file of the
// preparation (the die-face potential) is written by one rank at a time and
// last by the last variant, as in a single process.  Ends when every result
// is in and every rank has been told that none is left.
void HandOut(const Job& job, const std::vector<std::string>& outlineFiles, bool serialPrep,
             std::vector<VariantResult>& rows) {
  const int nVar = static_cast<int>(outlineFiles.size());
  int next = 1, results = 0, closed = 0;
  bool preparing = false;
  std::deque<int> waiting;  // ranks whose question is not answered yet
  std::vector<double> x(kResultNumbers);
  while (results < nVar || closed < job.ranks) {
    while (!waiting.empty() && (next > nVar || !(serialPrep && preparing))) {
      const int to = waiting.front();
      waiting.pop_front();
      const int v = next <= nVar ? next++ : 0;
      if (v == 0) {
        ++closed;
      } else {
        preparing = serialPrep;
        Console(TextLine("Kalmora>  MPI: variant ") << v << " to rank " << to);
      }
      MPI_Send(&v, 1, MPI_INT, to, kTagHand, job.hand);
    }
    int flag = 0;
    MPI_Status st;
    MPI_Iprobe(MPI_ANY_SOURCE, MPI_ANY_TAG, job.ask, &flag, &st);
    if (flag == 0) {
      // Variants take seconds to hours; a millisecond's delay costs nothing
      // and leaves the core to rank 0's own variants.
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    if (st.MPI_TAG == kTagResult) {
      MPI_Recv(x.data(), kResultNumbers, MPI_DOUBLE, st.MPI_SOURCE, kTagResult, job.ask, MPI_STATUS_IGNORE);
      const int v = static_cast<int>(x[0]);
      rows[static_cast<std::size_t>(v - 1)] = UnpackResult(x, outlineFiles[static_cast<std::size_t>(v - 1)]);
      ++results;
      Console(TextLine("Kalmora>  MPI: variant ") << v << " solved on rank " << st.MPI_SOURCE << " (" << results
                                                 << " of " << nVar << ")");
    } else {
      int value = 0;
      MPI_Recv(&value, 1, MPI_INT, st.MPI_SOURCE, st.MPI_TAG, job.ask, MPI_STATUS_IGNORE);
      if (st.MPI_TAG == kTagAsk) waiting.push_back(st.MPI_SOURCE);
      if (st.MPI_TAG == kTagPrepared) preparing = false;
    }
  }
}

// Reads the input on a rank other than 0, after rank 0 has read and checked
// it: the same records, without repeating rank 0's console lines (warnings
// about the input included).
void ReadQuietly(RunState& run, ElementTables& tab, const RunOptions& options) {
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  const int null = open("/dev/null", O_WRONLY);
  if (saved >= 0 && null >= 0) dup2(null, STDOUT_FILENO);
  ReadRun(run, tab, options);
  std::fflush(stdout);
  if (saved >= 0 && null >= 0) dup2(saved, STDOUT_FILENO);
  if (null >= 0) close(null);
  if (saved >= 0) close(saved);
}

// The variants of this rank: ask, prepare, solve, send the summary row back
// and let go of the variant's meshes, until none is left.
void SolveHandedOut(Job& job, RunState& run, const ElementTables& tab, bool serialPrep) {
  // Preparation steps are made for one variant at a time in a process, so a
  // rank prepares one variant at a time while its other variants solve.
  auto prepare = [&](int v) {
#pragma omp critical(kalmora_mpi_prepare)
    {
      int iVar = v;
      PrapareOneVariant(iVar, run.nodes(v), run.nodes_t(v), run.inp_dat(v), tab);
    }
    if (serialPrep) MPI_Send(&v, 1, MPI_INT, 0, kTagPrepared, job.ask);
  };

  // The sweep plan of this rank's machine, from its first variant (variants
  // of one input differ little in size unless their outline files differ).
  const int first = NextVariant(job);
  int64_t perVariant = 0;
  if (first > 0) {
    prepare(first);
    perVariant = static_cast<int64_t>(run.inp_dat(first).solve.SolveMiB * 1024.0 * 1024.0);
  }
  const int64_t available = AvailableMemoryBytes();
  const SweepPlan plan = PlanSweep(run.nVar, omp_get_max_threads(), perVariant, available);
  constexpr int64_t kMB = 1024 * 1024;
  if (!plan.fitsOne)
    Fatal("Kalmora: rank " + std::to_string(job.rank) + " on " + job.host + ": the solve of one variant needs about " +
          std::to_string(perVariant / kMB) + " MB, but only " + std::to_string(available / kMB) +
          " MB of memory are free; no variant is solved");
  if (first > 0)
    Console(TextLine("Kalmora>  MPI: rank ") << job.rank << " on " << job.host << ": "
                                             << static_cast<int32_t>(plan.threads) << " variant(s) at a time, "
                                             << static_cast<int32_t>(plan.solveThreads) << " thread(s) per linear solve"
                                             << (plan.memoryLimited ? " (limited by memory)" : ""));
  if (plan.solveThreads > 1) omp_set_max_active_levels(2);

  auto loop = [&](int v, bool prepared) {
    for (; v > 0; v = NextVariant(job), prepared = false) {
      if (!prepared) prepare(v);
      run.inp_dat(v).solve.SolveThreads = plan.solveThreads;
      SolverOneVariant(v, run.nodes(v), run.nodes_t(v), run.inp_dat(v), tab);
      std::vector<double> x = PackResult(CollectResult(v, run.inp_dat(v), run.nodes(v)));
      MPI_Send(x.data(), kResultNumbers, MPI_DOUBLE, 0, kTagResult, job.ask);
      run.nodes(v) = MeshRecord{};
      run.nodes_t(v) = MeshRecord{};
      run.inp_dat(v) = InpDat{};
    }
  };
  // As in the single process: one variant thread runs on the main thread, so
  // that the teams of its linear solves are outermost regions.
  if (plan.threads <= 1) {
    loop(first, true);
  } else {
#pragma omp parallel num_threads(plan.threads)
    {
      if (omp_get_thread_num() == 0)
        loop(first, true);
      else
        loop(NextVariant(job), false);
    }
  }
}

int SharedSweep(Job& job, RunState& run, ElementTables& tab, const RunOptions& options) {
  if (job.rank == 0) {
    // The summary of an earlier run goes first, so that a job stopped by any
    // error, the input's included, leaves none that looks complete.
    RemoveSummary(kSummaryFile);
    ReadRun(run, tab, options);
    Console(TextLine("Kalmora>  MPI: ") << job.ranks << " ranks share the " << run.nVar
                                        << " variants; each rank prepares and solves the variants handed to it");
    Console(TextLine("PARALLEL CALCULATION START "));
  }
  // The other ranks read the input only when rank 0 has found it sound.
  MPI_Barrier(MPI_COMM_WORLD);
  if (job.rank != 0) ReadQuietly(run, tab, options);
  const bool serialPrep = run.input.setup.FaceShift >= 1.0;

  // The hand-out keeps its own copy of the outline file names: a rank lets
  // go of a variant's record as soon as it has sent the variant's row.
  std::vector<VariantResult> rows(static_cast<std::size_t>(std::max(run.nVar, 0)));
  std::vector<std::string> outlineFiles;
  for (int k = 1; k <= run.nVar; ++k) outlineFiles.push_back(run.inp_dat(k).setup.FileOutline);
  std::thread handOut;
  if (job.rank == 0) handOut = std::thread([&] { HandOut(job, outlineFiles, serialPrep, rows); });
  SolveHandedOut(job, run, tab, serialPrep);
  if (job.rank != 0) return 0;
  handOut.join();

  Console(TextLine("PARALLEL CALCULATION FINISH "));
  WriteSummary(kSummaryFile, rows);
  Console(TextLine());
  Console(TextLine("Results of the run (") << kSummaryFile << "):");
  for (const std::string& line : SummaryTable(rows)) Console(TextLine(line));
  return 0;
}

}  // namespace

int RunKalmoraMpi(RunState& run, ElementTables& tab, const RunOptions& options) {
  int provided = 0;
  MPI_Init_thread(nullptr, nullptr, MPI_THREAD_MULTIPLE, &provided);
  std::atexit(AbortUnfinishedJob);
  Job job;
  MPI_Comm_rank(MPI_COMM_WORLD, &job.rank);
  MPI_Comm_size(MPI_COMM_WORLD, &job.ranks);
  char host[MPI_MAX_PROCESSOR_NAME] = {};
  int len = 0;
  MPI_Get_processor_name(host, &len);
  job.host.assign(host, static_cast<std::size_t>(std::max(len, 0)));

  int status = 0;
  if (job.ranks == 1) {
    status = RunKalmora(run, tab, options);
  } else if (options.prepareOnly) {
    // Preparing writes the files that a single process writes in order.
    if (job.rank == 0) status = RunKalmora(run, tab, options);
  } else {
    if (provided < MPI_THREAD_MULTIPLE)
      Fatal("kalmora: the MPI library offers thread level " + std::to_string(provided) +
            ", but ranks that share variants need MPI_THREAD_MULTIPLE");
    MPI_Comm_dup(MPI_COMM_WORLD, &job.ask);
    MPI_Comm_dup(MPI_COMM_WORLD, &job.hand);
    status = SharedSweep(job, run, tab, options);
    MPI_Comm_free(&job.ask);
    MPI_Comm_free(&job.hand);
  }
  MPI_Finalize();
  return status;
}
