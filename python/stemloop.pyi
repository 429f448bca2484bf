"""Type stub of the compiled module stemloop: RNA secondary structure folding and energies."""

from os import PathLike
from typing import Iterable, Iterator, List, Optional, Tuple, Union

import numpy
import numpy.typing

__version__: str
PARAMETERS: str
"""Name of the nearest-neighbour parameter set of the energy tables."""

# Results compare by value (==, hash) and pickle.
class FoldResult:
    """A minimum-free-energy structure of a sequence and its energy."""

    @property
    def sequence(self) -> str:
        """The sequence, as given."""
    @property
    def structure(self) -> str:
        """Dot-bracket structure, one character per base."""
    @property
    def energy(self) -> float:
        """Free energy in kcal/mol."""
    def _repr_svg_(self) -> str:
        """The drawing of the structure, which notebooks show."""

class Loop:
    """One loop of a structure and its free energy."""

    @property
    def kind(self) -> str:
        """'exterior', 'hairpin', 'stack', 'bulge', 'interior' or 'multiloop'."""
    @property
    def closing(self) -> Optional[Tuple[int, int]]:
        """The pair (i, j) closing the loop, 0-based, or None for the exterior loop."""
    @property
    def inner(self) -> Optional[Tuple[int, int]]:
        """For a stack, bulge or interior loop the enclosed pair (p, q), else None."""
    @property
    def energy(self) -> float:
        """Free energy of the loop in kcal/mol."""

class Evaluation:
    """The free energy of a structure, loop by loop."""

    @property
    def energy(self) -> float:
        """Free energy in kcal/mol: the sum of the loops' energies."""
    @property
    def loops(self) -> List[Loop]:
        """The loops, exterior loop first."""
    @property
    def invalid_pairs(self) -> List[Tuple[int, int]]:
        """Bracketed pairs (i, j), 0-based, whose bases cannot pair."""

class MeaStructure:
    """The maximum-expected-accuracy structure of an ensemble."""

    @property
    def structure(self) -> str:
        """Dot-bracket structure."""
    @property
    def gamma(self) -> float:
        """Weight of a paired base against an unpaired one."""
    @property
    def expected_accuracy(self) -> float:
        """2 gamma p_ij summed over its pairs plus q_i over its unpaired bases."""

class Ensemble:
    """The Boltzmann ensemble of a sequence; positions are 0-based."""

    @property
    def energy(self) -> float:
        """Ensemble free energy -RT ln Z in kcal/mol."""
    @property
    def probabilities(self) -> numpy.typing.NDArray[numpy.float64]:
        """Pair probabilities: a symmetric n x n float64 array, read-only."""
    @property
    def unpaired(self) -> numpy.typing.NDArray[numpy.float64]:
        """Probability of each base to be unpaired: a float64 array, read-only."""
    @property
    def diversity(self) -> float:
        """Expected base-pair distance between two structures of the ensemble."""
    @property
    def centroid(self) -> str:
        """The structure of the pairs with probability above 0.5."""
    def mea(self, gamma: float = 1.0) -> MeaStructure:
        """The maximum-expected-accuracy structure for this weight of paired bases."""
    def sample(self, n: int, seed: int = 1) -> List[str]:
        """n structures drawn with their Boltzmann probability; the same seed gives the
        same structures."""
    def probability(self, structure: str) -> float:
        """Boltzmann probability of a dot-bracket structure, 0 for one outside the ensemble."""
    def ensemble_defect(self, structure: str) -> float:
        """Expected number of bases paired otherwise than in the structure."""

class SuboptIterator:
    """The structures of a band, one (structure, energy) at a time."""

    def __iter__(self) -> SuboptIterator:
        """The iterator itself."""
    def __next__(self) -> Tuple[str, float]:
        """The next (structure, energy in kcal/mol)."""
    def close(self) -> None:
        """Stops the walk through the band; the iterator ends."""

class FastaRecord:
    """One record of a FASTA file."""

    @property
    def name(self) -> str:
        """The text after '>', '' for none."""
    @property
    def sequence(self) -> str:
        """The sequence, as the file gives it."""

class FastaReader:
    """The records of a FASTA file, one at a time."""

    def __iter__(self) -> FastaReader:
        """The iterator itself."""
    def __next__(self) -> FastaRecord:
        """The next FastaRecord."""

def read_fasta(path: Union[str, PathLike[str]]) -> FastaReader:
    """The records of a FASTA file, plain or gzip-compressed, one at a time."""

class Model:
    """The energy model and folding rules that fold and evaluate use; read-only, so
    threads may share it. Raises ValueError for a value out of range."""

    def __init__(
        self,
        *,
        temperature: float = 37.0,
        dangles: int = 2,
        no_lonely_pairs: bool = False,
        no_gu: bool = False,
        no_closing_gu: bool = False,
        tetraloops: bool = True,
        nonstandard_pairs: Iterable[str] = (),
        energy_set: int = 0,
        parameters: str = "turner1999",
    ) -> None: ...
    @property
    def temperature(self) -> float:
        """Temperature in degrees Celsius."""
    @property
    def dangles(self) -> int:
        """Dangling-end mode, 0 to 3."""
    @property
    def no_lonely_pairs(self) -> bool:
        """Whether folding forbids isolated base pairs."""
    @property
    def no_gu(self) -> bool:
        """Whether G-U and U-G may not pair."""
    @property
    def no_closing_gu(self) -> bool:
        """Whether folding forbids G-U and U-G pairs that close a loop."""
    @property
    def tetraloops(self) -> bool:
        """Whether special hairpins of four get their bonus."""
    @property
    def nonstandard_pairs(self) -> List[str]:
        """Extra pairs, upper-case, two letters each."""
    @property
    def energy_set(self) -> int:
        """Alphabet: 0 ACGU, 1 G/C, 2 A/U two-letter."""
    @property
    def parameters(self) -> str:
        """The parameter set's name or file, as given."""
    @property
    def parameter_set(self) -> str:
        """The name of the parameter set in use, such as 'Turner 1999'."""
    def fold(
        self, sequence: str, *, constraint: Optional[str] = None, threads: int = 1
    ) -> FoldResult:
        """Folds a sequence to its minimum-free-energy structure; ValueError with
        stemloop-fold's message for input the tool refuses."""
    def fold_batch(
        self,
        sequences: Iterable[str],
        *,
        constraints: Optional[Iterable[str]] = None,
        threads: Optional[int] = None,
    ) -> List[FoldResult]:
        """Folds every sequence on several threads (default: one per core), GIL released."""
    def evaluate(self, sequence: str, structure: str, *, log_ml: bool = False) -> Evaluation:
        """Free energy of a structure, in total and loop by loop; ValueError with
        stemloop-eval's message for input the tool refuses."""
    def evaluate_batch(
        self,
        sequences: Iterable[str],
        structures: Iterable[str],
        *,
        log_ml: bool = False,
        threads: Optional[int] = None,
    ) -> List[Evaluation]:
        """Evaluates every structure on several threads (default: one per core), GIL released."""
    def partition(
        self, sequence: str, *, constraint: Optional[str] = None, threads: int = 1
    ) -> Ensemble:
        """The Boltzmann ensemble (dangle mode 0 or 2), GIL released; ValueError with
        stemloop-fold's message for input stemloop-fold -p refuses."""
    def partition_batch(
        self,
        sequences: Iterable[str],
        *,
        constraints: Optional[Iterable[str]] = None,
        threads: Optional[int] = None,
    ) -> List[Ensemble]:
        """The ensembles of every sequence on several threads (default: one per core)."""
    def subopt(
        self,
        sequence: str,
        delta: float,
        *,
        max: Optional[int] = None,
        sorted: bool = False,
        constraint: Optional[str] = None,
    ) -> List[Tuple[str, float]]:
        """Every (structure, energy) within delta kcal/mol of the minimum, at most max of
        them (dangle mode 0 or 2), GIL released."""
    def iter_subopt(
        self,
        sequence: str,
        delta: float,
        *,
        max: Optional[int] = None,
        sorted: bool = False,
        constraint: Optional[str] = None,
    ) -> SuboptIterator:
        """What subopt lists, one (structure, energy) at a time, in bounded memory."""
    def zuker(
        self,
        sequence: str,
        n: int,
        *,
        window: int = 3,
        percent: float = 10.0,
        constraint: Optional[str] = None,
    ) -> List[Tuple[str, float]]:
        """Up to n distinct (structure, energy), each the best through a pair far from those
        listed before (dangle mode 0 or 2), GIL released."""

# Module-level functions build Model(**options) with Model's keywords.
def fold(
    sequence: str,
    *,
    constraint: Optional[str] = None,
    threads: int = 1,
    temperature: float = 37.0,
    dangles: int = 2,
    no_lonely_pairs: bool = False,
    no_gu: bool = False,
    no_closing_gu: bool = False,
    tetraloops: bool = True,
    nonstandard_pairs: Iterable[str] = (),
    energy_set: int = 0,
    parameters: str = "turner1999",
) -> FoldResult:
    """Folds a sequence with Model(**options); see Model.fold."""

def fold_batch(
    sequences: Iterable[str],
    *,
    constraints: Optional[Iterable[str]] = None,
    threads: Optional[int] = None,
    temperature: float = 37.0,
    dangles: int = 2,
    no_lonely_pairs: bool = False,
    no_gu: bool = False,
    no_closing_gu: bool = False,
    tetraloops: bool = True,
    nonstandard_pairs: Iterable[str] = (),
    energy_set: int = 0,
    parameters: str = "turner1999",
) -> List[FoldResult]:
    """Folds a list of sequences with Model(**options); see Model.fold_batch."""

def evaluate(
    sequence: str,
    structure: str,
    *,
    log_ml: bool = False,
    temperature: float = 37.0,
    dangles: int = 2,
    no_lonely_pairs: bool = False,
    no_gu: bool = False,
    no_closing_gu: bool = False,
    tetraloops: bool = True,
    nonstandard_pairs: Iterable[str] = (),
    energy_set: int = 0,
    parameters: str = "turner1999",
) -> Evaluation:
    """Evaluates a structure with Model(**options); see Model.evaluate."""

def evaluate_batch(
    sequences: Iterable[str],
    structures: Iterable[str],
    *,
    log_ml: bool = False,
    threads: Optional[int] = None,
    temperature: float = 37.0,
    dangles: int = 2,
    no_lonely_pairs: bool = False,
    no_gu: bool = False,
    no_closing_gu: bool = False,
    tetraloops: bool = True,
    nonstandard_pairs: Iterable[str] = (),
    energy_set: int = 0,
    parameters: str = "turner1999",
) -> List[Evaluation]:
    """Evaluates a list of structures with Model(**options); see Model.evaluate_batch."""

# partition, partition_batch, subopt, iter_subopt and zuker need dangle mode 0 or 2.
def partition(
    sequence: str,
    *,
    constraint: Optional[str] = None,
    threads: int = 1,
    temperature: float = 37.0,
    dangles: int = 2,
    no_lonely_pairs: bool = False,
    no_gu: bool = False,
    no_closing_gu: bool = False,
    tetraloops: bool = True,
    nonstandard_pairs: Iterable[str] = (),
    energy_set: int = 0,
    parameters: str = "turner1999",
) -> Ensemble:
    """The ensemble of a sequence with Model(**options); see Model.partition."""

def partition_batch(
    sequences: Iterable[str],
    *,
    constraints: Optional[Iterable[str]] = None,
    threads: Optional[int] = None,
    temperature: float = 37.0,
    dangles: int = 2,
    no_lonely_pairs: bool = False,
    no_gu: bool = False,
    no_closing_gu: bool = False,
    tetraloops: bool = True,
    nonstandard_pairs: Iterable[str] = (),
    energy_set: int = 0,
    parameters: str = "turner1999",
) -> List[Ensemble]:
    """The ensembles of sequences with Model(**options); see Model.partition_batch."""

def subopt(
    sequence: str,
    delta: float,
    *,
    max: Optional[int] = None,
    sorted: bool = False,
    constraint: Optional[str] = None,
    temperature: float = 37.0,
    dangles: int = 2,
    no_lonely_pairs: bool = False,
    no_gu: bool = False,
    no_closing_gu: bool = False,
    tetraloops: bool = True,
    nonstandard_pairs: Iterable[str] = (),
    energy_set: int = 0,
    parameters: str = "turner1999",
) -> List[Tuple[str, float]]:
    """The band within delta kcal/mol with Model(**options); see Model.subopt."""

def iter_subopt(
    sequence: str,
    delta: float,
    *,
    max: Optional[int] = None,
    sorted: bool = False,
    constraint: Optional[str] = None,
    temperature: float = 37.0,
    dangles: int = 2,
    no_lonely_pairs: bool = False,
    no_gu: bool = False,
    no_closing_gu: bool = False,
    tetraloops: bool = True,
    nonstandard_pairs: Iterable[str] = (),
    energy_set: int = 0,
    parameters: str = "turner1999",
) -> SuboptIterator:
    """The band as an iterator with Model(**options); see Model.iter_subopt."""

def zuker(
    sequence: str,
    n: int,
    *,
    window: int = 3,
    percent: float = 10.0,
    constraint: Optional[str] = None,
    temperature: float = 37.0,
    dangles: int = 2,
    no_lonely_pairs: bool = False,
    no_gu: bool = False,
    no_closing_gu: bool = False,
    tetraloops: bool = True,
    nonstandard_pairs: Iterable[str] = (),
    energy_set: int = 0,
    parameters: str = "turner1999",
) -> List[Tuple[str, float]]:
    """Zuker's suboptimals with Model(**options); see Model.zuker."""
