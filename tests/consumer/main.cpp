#include <iostream>
#include <kappa/kappa.h>

int main(int argc, char** argv) {
    namespace api = kappa::api;
    api::ReadOptions input;
    input.layout = api::Layout::Ratings;
    input.id = "patient";
    input.categories = {"none", "mild", "moderate", "severe"};
    api::Request request;
    request.coefficients = {"fleiss", "gwet"};
    request.weights = {"none", "quadratic"};
    const api::Read read = api::read(argc > 1 ? argv[1] : "ratings.csv", input);
    if (read.error) return std::cerr << read.error->what() << "\n", 1;
    const api::Analysis analysis = api::analyse(api::prepare(read.studies.at(0), request));
    if (analysis.error) return std::cerr << analysis.error->what() << "\n", 1;
    for (const api::Estimate& e : analysis.estimates)
        std::cout << e.name << " (" << e.weights << "): " << e.kappa << " [" << e.wald.lower << ", " << e.wald.upper << "]\n";
    std::cout << api::format(analysis, api::Format::Json);
}
