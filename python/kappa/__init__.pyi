import os
from typing import Any, Iterable, Literal, Mapping, Sequence, overload

import pandas

Names = str | Iterable[str] | None

class InputError(ValueError):
    file: str
    line: int
    column: int
    message: str
    def __init__(self, file: str, line: int, column: int, message: str) -> None: ...

class Result:
    file: str
    input: str
    subjects: int
    dropped_subjects: int
    raters: int | None
    categories: int
    category_labels: list[str]
    confidence: float
    kappa0: float
    alternative: str
    z: float | None
    raw_agreement: float | None
    estimates: list[dict[str, Any]]
    notes: list[str]
    def __getattr__(self, name: str) -> Any: ...
    def to_dict(self) -> dict[str, Any]: ...
    def to_frame(self) -> pandas.DataFrame: ...
    def _repr_html_(self) -> str: ...

Layout = Literal["table", "ratings", "long", "matrix", "counts"]

@overload
def analyse(data: str | os.PathLike[str] | pandas.DataFrame | Sequence[Sequence[Any]] | Mapping[tuple[Any, ...], int] | Any, *,
            layout: Layout | None = ..., columns: Names = ..., id: str | None = ..., by: None = ...,
            categories: Names = ..., missing: Names = ..., coefficients: Names = ..., weights: Names = ...,
            confidence: float = ..., kappa0: float = ...,
            alternative: Literal["two-sided", "greater", "less"] = ..., drop_incomplete: bool = ...,
            delimiter: str | None = ..., encoding: str | None = ...) -> Result: ...
@overload
def analyse(data: str | os.PathLike[str] | pandas.DataFrame | Sequence[Sequence[Any]] | Mapping[tuple[Any, ...], int] | Any, *,
            layout: Layout | None = ..., columns: Names = ..., id: str | None = ..., by: str,
            categories: Names = ..., missing: Names = ..., coefficients: Names = ..., weights: Names = ...,
            confidence: float = ..., kappa0: float = ...,
            alternative: Literal["two-sided", "greater", "less"] = ..., drop_incomplete: bool = ...,
            delimiter: str | None = ..., encoding: str | None = ...) -> list[Result]: ...
