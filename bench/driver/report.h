// The benchmark's results: a table on the console and the same rows as JSON.
#pragma once

#include <string>
#include <vector>

struct ResultRow {
    std::string name;
    double value = 0;
    std::string unit;
    double floor = 0;
    bool hasRatio = true;
    double ratio = 0;
    std::string goal;
    bool met = false;
    std::string note; // console only: how the floor was taken
    // The ratio in each of several repetitions taken in turns with the floor: its lowest
    // and highest; none when repetitions is 0.
    int repetitions = 0;
    double spreadLow = 0;
    double spreadHigh = 0;
};

void PrintTable(const std::vector<ResultRow> &rows);
bool WriteJson(const std::string &path, const std::vector<ResultRow> &rows);
// One value per line, for the distribution plot.
bool WriteValues(const std::string &path, const std::vector<double> &values, double scale);
