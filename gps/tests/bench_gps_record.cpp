// The client's side of every poll: parsing the service's record text.
#include <benchmark/benchmark.h>

#include "gps/gps_record.h"

namespace {

// A record as the service writes it for a moving vehicle.
constexpr char kRecord[] =
    "1 55.751244000000 37.618423000000 11.134000000000 0.000100000000 0.000000000000 "
    "11.134000000000 132820.600 9";

void BM_ParseGpsRecord(benchmark::State& st) {
    gps::GpsValues values;
    for (auto _ : st) {
        benchmark::DoNotOptimize(gps::ParseGpsRecord(kRecord, values));
        benchmark::DoNotOptimize(values.latitude);
    }
    st.SetItemsProcessed(static_cast<int64_t>(st.iterations()));
}
BENCHMARK(BM_ParseGpsRecord);

void BM_ParseReceiverLostRecord(benchmark::State& st) {
    gps::GpsValues values;
    for (auto _ : st) {
        benchmark::DoNotOptimize(gps::ParseGpsRecord("0\n", values));
    }
}
BENCHMARK(BM_ParseReceiverLostRecord);

}  // namespace
