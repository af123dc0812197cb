#pragma once

// The whole public API of the Veltrane library.
#include <veltrane/cascade.h>
#include <veltrane/errors.h>
#include <veltrane/exact.h>
#include <veltrane/exponents.h>
#include <veltrane/export.h>
#include <veltrane/maps.h>
#include <veltrane/markov.h>
#include <veltrane/markov_measure.h>
#include <veltrane/multifractal.h>
#include <veltrane/partition.h>
#include <veltrane/random.h>
#include <veltrane/run.h>
#include <veltrane/text.h>
#include <veltrane/version.h>
