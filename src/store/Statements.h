#pragma once

// The statements the program sends, as written for SQL Server: the texts a
// SQL Server store receives. Statement carries each of them with its intent,
// on which the other engines act in their own dialects.
namespace vip::store::statements {

// Formatted with a table name: an empty result with the table's columns.
inline constexpr const char* kSelectEmpty = "Select top 0 * from %s";

// The business date parameter (with its leading blank).
inline constexpr const char* kBusinessDate =
    " Select SP_Value from Qx_SysPara Where SP_Name='系统日期'";

// Formatted with the table name, then the column name.
inline constexpr const char* kIdentityTest =
    "select colstat,name from syscolumns where id=object_id('%s') and colstat=1 and name='%s'";

// The allocation batch; %0:s stands for the table name, %1:s for the column.
inline constexpr const char* kAllocationBatch[] = {
    "begin tran",
    "set nocount on ",
    "update AutoSerialNo with (serializable) set ASN_NO=ASN_NO+1 where ASN_TYPE='%1:s_%0:s'",
    ("if @@rowcount = 0  begin insert into AutoSerialNo  (ASN_NO,ASN_TYPE) select "
     "isnull(max(%1:s),0)+1,'%1:s_%0:s' from %0:s  end"),
    "select  ASN_NO from AutoSerialNo where ASN_TYPE='%1:s_%0:s'",
    "commit tran",
};

// The built-in connection string; every connect starts from it.
inline constexpr const char* kDefaultConnectionString =
    "Provider=SQLOLEDB;Password=qelvirandospu;Persist Security Info=True;User ID=sa;"
    "Initial Catalog=qxsys;Data Source=.";

}  // namespace vip::store::statements
